// The bundled sample catalogue: public-domain works of Italian literature with invented
// publishers, recordings and distribution centres. The rows are chosen so that every rule of the
// client's record display meets a case: subtitles, edition 0, missing and zero pages,
// cassette-only, CD-only and neither, an unknown duration, works held by no centre, dates and
// "000000000", descriptions with line breaks and apostrophes, accented letters, a recording not
// available, centres without CAP, Localita, address or e-mail, the head office (id 1) and a
// provenance that is not a centre. All text is Windows-1252, the client's character set.

extern const char* const SampleCatalogueSql;

const char* const SampleCatalogueSql = R"SQL(
INSERT INTO Classi VALUES
 (1, 'Narrativa'), (2, 'Poesia'), (3, 'Teatro'), (4, 'Libri per ragazzi'), (5, 'Saggistica'),
 (6, 'Memorie e lettere');

INSERT INTO Autori VALUES
 (1, 'Alessandro Manzoni'), (2, 'Giovanni Verga'), (3, 'Luigi Pirandello'), (4, 'Italo Svevo'),
 (5, 'Grazia Deledda'), (6, 'Carlo Collodi'), (7, 'Edmondo De Amicis'), (8, 'Emilio Salgari'),
 (9, 'Giacomo Leopardi'), (10, 'Dante Alighieri'), (11, 'Francesco Petrarca'),
 (12, 'Giovanni Boccaccio'), (13, 'Ugo Foscolo'), (14, 'Carlo Goldoni'),
 (15, 'Niccolò Machiavelli'), (16, 'Gabriele D''Annunzio'), (17, 'Giovanni Pascoli'),
 (18, 'Antonio Fogazzaro'), (19, 'Ippolito Nievo'), (20, 'Matilde Serao'),
 (21, 'Federico De Roberto'), (22, 'Luigi Capuana'), (23, 'Cesare Beccaria'),
 (24, 'Giosuè Carducci'), (25, 'Ludovico Ariosto'), (26, 'Torquato Tasso'),
 (27, 'Vittorio Alfieri'), (28, 'Silvio Pellico'), (29, 'Vamba');

INSERT INTO Editori VALUES
 (1, 'Edizioni del Pozzo Antico'), (2, 'Libreria Editrice Ferraguti'),
 (3, 'Casa Editrice Colle d''Oro'), (4, 'Edizioni Città Murata'), (5, 'Stamperia dei Tre Ponti'),
 (6, 'Voci Incise Editrice');

INSERT INTO Opere VALUES
 (1, 'I promessi sposi', 'Storia milanese del secolo XVII', 1840, 720,
  'Renzo e Lucia, promessi sposi in un paese sul lago di Como, sono separati dai capricci di don Rodrigo.
Lettura integrale dell''edizione definitiva.', 1, 1, 1),
 (2, 'Storia della colonna infame', NULL, 1842, 160,
  'Il processo agli untori di Milano durante la peste del 1630.', 1, 2, 5),
 (3, 'I Malavoglia', NULL, 1881, 320,
  'La famiglia Toscano, detta Malavoglia, lotta contro la sorte ad Aci Trezza.', 2, 1, 1),
 (4, 'Mastro-don Gesualdo', NULL, 1889, 410,
  'L''ascesa e la solitudine di un muratore arricchito.', 2, 3, 1),
 (5, 'Novelle rusticane', NULL, 0, NULL,
  'Dodici novelle della campagna siciliana, tra cui "La roba" e "Libertà".', 2, 4, 1),
 (6, 'Il fu Mattia Pascal', NULL, 1904, 280,
  'Creduto morto, Mattia Pascal prova a vivere un''altra vita.', 3, 2, 1),
 (7, 'Uno, nessuno e centomila', '', 1926, 230, '', 3, 3, 1),
 (8, 'Sei personaggi in cerca d''autore', 'Commedia da fare', 1921, 120,
  'Sei personaggi irrompono durante le prove di una compagnia.
Registrazione a più voci.', 3, 5, 3),
 (9, 'Così è (se vi pare)', 'Parabola in tre atti', 1917, 96,
  'Una cittadina di provincia vuole sapere la verità sulla signora Ponza.', 3, 5, 3),
 (10, 'La coscienza di Zeno', NULL, 1923, 460,
  'Zeno Cosini racconta la sua vita su invito dello psicanalista.

L''ultima sigaretta non è mai l''ultima.', 4, 2, 1),
 (11, 'Senilità', NULL, 1898, 250, 'Emilio Brentani e il suo amore per Angiolina a Trieste.', 4, 4, 1),
 (12, 'Una vita', NULL, 1892, 380, 'Alfonso Nitti, impiegato di banca, e le sue illusioni.', 4, 1, 1),
 (13, 'Canne al vento', NULL, 1913, 210,
  'Le dame Pintor e il servo Efix nella Sardegna di inizio secolo.', 5, 3, 1),
 (14, 'Elias Portolu', NULL, 1903, 190, NULL, 5, 6, 1),
 (15, 'Le avventure di Pinocchio', 'Storia di un burattino', 1883, 240,
  'Il burattino di legno di mastro Geppetto e le sue disavventure.
Adatto ai più piccoli.', 6, 6, 4),
 (16, 'Cuore', NULL, 1886, 330,
  'Il diario di un anno scolastico di Enrico, alunno di terza elementare a Torino.', 7, 1, 4),
 (17, 'Sull''oceano', NULL, 1889, 300,
  'Il viaggio di un piroscafo di emigranti da Genova a Montevideo.', 7, 4, 6),
 (18, 'Il Corsaro Nero', NULL, 1898, 360,
  'Emilio di Roccanera, signore di Ventimiglia, cerca vendetta nei Caraibi.', 8, 6, 4),
 (19, 'Le tigri di Mompracem', NULL, 1900, 290,
  'Sandokan e Yanez contro gli inglesi nei mari della Malesia.', 8, 6, 4),
 (20, 'Canti', NULL, 1835, 200, 'Da "L''infinito" a "La ginestra": tutte le liriche.', 9, 3, 2),
 (21, 'Operette morali', NULL, 1827, 260, 'Dialoghi e prose filosofiche.', 9, 2, 5),
 (22, 'La Divina Commedia', 'Inferno', 0, 340, 'Prima cantica, letta per intero.', 10, 1, 2),
 (23, 'La Divina Commedia', 'Purgatorio', 0, 330, 'Seconda cantica.', 10, 1, 2),
 (24, 'La Divina Commedia', 'Paradiso', 0, 330, 'Terza cantica.', 10, 1, 2),
 (25, 'Vita nuova', NULL, 0, 90, 'Prosimetro giovanile dedicato a Beatrice.', 10, 5, 2),
 (26, 'Canzoniere', 'Rerum vulgarium fragmenta', 0, NULL, 'I 366 componimenti per Laura.', 11, 3, 2),
 (27, 'Decameron', NULL, 0, 900,
  'Dieci giovani, fuggiti dalla peste di Firenze, raccontano cento novelle in dieci giornate.',
  12, 2, 1),
 (28, 'Ultime lettere di Jacopo Ortis', NULL, 1817, 180, 'Romanzo epistolare.', 13, 4, 6),
 (29, 'Dei Sepolcri', NULL, 1807, 0, 'Carme in endecasillabi sciolti.', 13, 4, 2),
 (30, 'La locandiera', NULL, 1753, 110,
  'Mirandolina, padrona di una locanda a Firenze, conquista il cavaliere di Ripafratta.', 14, 5, 3),
 (31, 'Arlecchino servitore di due padroni', NULL, 1753, 100,
  'Truffaldino serve due padroni senza che l''uno sappia dell''altro.', 14, 5, 3),
 (32, 'Il principe', NULL, 1532, 140, 'Trattato sul governo degli stati.', 15, 2, 5),
 (33, 'La mandragola', NULL, 0, 80, 'Commedia in cinque atti.', 15, 5, 3),
 (34, 'Il piacere', NULL, 1889, 350, 'Andrea Sperelli nella Roma di fine Ottocento.', 16, 4, 1),
 (35, 'Alcyone', NULL, 1903, 220, 'Liriche dell''estate: "La pioggia nel pineto".', 16, 3, 2),
 (36, 'La città morta', 'Tragedia', 1898, 130, 'Tra le rovine di Micene.', 16, 5, 3),
 (37, 'Myricae', NULL, 1891, 170, 'Poesie della vita dei campi.', 17, 3, 2),
 (38, 'Canti di Castelvecchio', NULL, 1903, 190, '', 17, 3, 2),
 (39, 'Piccolo mondo antico', NULL, 1895, 420,
  'Franco e Luisa in Valsolda sotto la dominazione austriaca.', 18, 1, 1),
 (40, 'Le confessioni d''un italiano', NULL, 1867, 800,
  'Carlo Altoviti, ottuagenario, racconta la sua vita dal castello di Fratta.', 19, 2, 1),
 (41, 'Il paese di cuccagna', NULL, 1891, 400, 'Napoli e la febbre del lotto.', 20, 4, 1),
 (42, 'I Viceré', NULL, 1894, 650, 'La famiglia Uzeda di Francalanza a Catania.', 21, 1, 1),
 (43, 'Il marchese di Roccaverdina', NULL, 1901, 310, NULL, 22, 6, 1),
 (44, 'Dei delitti e delle pene', NULL, 1764, 120, 'Contro la tortura e la pena di morte.', 23, 2, 5),
 (45, 'Odi barbare', NULL, 1877, 150, 'Metrica classica in lingua italiana.', 24, 3, 2),
 (46, 'Orlando furioso', NULL, 1532, 1200,
  'La follia di Orlando per Angelica, in quarantasei canti.', 25, 1, 2),
 (47, 'Gerusalemme liberata', NULL, 1581, 700, 'La prima crociata in venti canti.', 26, 1, 2),
 (48, 'Saul', 'Tragedia in cinque atti', 1782, 90, '', 27, 5, 3),
 (49, 'Le mie prigioni', NULL, 1832, 260, 'I dieci anni di carcere allo Spielberg.', 28, 2, 6),
 (50, 'Il giornalino di Gian Burrasca', NULL, 1912, 280,
  'Il diario di Giannino Stoppani, detto Gian Burrasca.', 29, 6, 4),
 (51, 'Vita', 'Scritta da esso', 1806, 400, 'L''autobiografia del poeta astigiano.', 27, 2, 6),
 (52, 'Cavalleria rusticana', NULL, 0, 40, 'Turiddu, Santuzza e compare Alfio.', 2, 4, 1);

INSERT INTO Catalogo VALUES
 (101, 1, NULL, 18, 1620, '019850312', 1985, 'Amatoriale', 'NA-0001', 1),
 (102, 2, 1, 0, 240, '020100120', 2010, 'Professionale', 'SA-0002', 1),
 (103, 3, 2, 8, 660, '019920506', 1992, 'Professionale', 'NA-0003', 1),
 (104, 4, 2, 9, 720, '000000000', 0, 'Amatoriale', 'NA-0004', 1),
 (105, 5, NULL, 0, 0, '019780101', 1978, '', 'NA-0005', 1),
 (106, 6, 2, 7, 540, '020010704', 2001, 'Professionale', 'NA-0006', 1),
 (107, 7, 1, 6, 470, '019990228', 1999, 'Amatoriale', 'NA-0007', 1),
 (108, 8, 1, 3, 150, '020180401', 2018, 'Professionale', 'TE-0008', 1),
 (109, 9, 1, 2, 130, '020180615', 2018, 'Professionale', 'TE-0009', 1),
 (110, 10, 3, 10, 900, '020050930', 2005, 'Professionale', 'NA-0010', 1),
 (111, 11, 2, 6, 480, '019960318', 1996, 'Amatoriale', 'NA-0011', 1),
 (112, 12, 2, 8, 610, '019970410', 1997, 'Amatoriale', 'NA-0012', 0),
 (113, 13, 1, 5, 400, '020120822', 2012, 'Professionale', 'NA-0013', 1),
 (114, 14, NULL, 4, 330, '000000000', 0, 'Amatoriale', 'NA-0014', 1),
 (115, 15, 2, 5, 420, '020150511', 2015, 'Professionale', 'RA-0015', 1),
 (116, 16, 2, 7, 560, '020151102', 2015, 'Professionale', 'RA-0016', 1),
 (117, 17, 1, 6, 500, '019940707', 1994, 'Amatoriale', 'ME-0017', 1),
 (118, 18, 2, 7, 600, '020081013', 2008, 'Professionale', 'RA-0018', 1),
 (119, 19, 2, 6, 520, '020081201', 2008, 'Professionale', 'RA-0019', 1),
 (120, 20, 1, 3, 200, '020200116', 2020, 'Professionale', 'PO-0020', 1),
 (121, 21, 1, 4, 320, '019880923', 1988, 'Amatoriale', 'SA-0021', 1),
 (122, 22, 2, 0, 480, '020210325', 2021, 'Professionale', 'PO-0022', 1),
 (123, 23, 2, 0, 470, '020210630', 2021, 'Professionale', 'PO-0023', 1),
 (124, 24, 2, 0, 470, '020210930', 2021, 'Professionale', 'PO-0024', 1),
 (125, 25, NULL, 2, 120, '019830505', 1983, 'Amatoriale', 'PO-0025', 1),
 (126, 26, 1, 4, 300, '000000000', 0, '', 'PO-0026', 1),
 (127, 27, 4, 16, 1500, '020030303', 2003, 'Professionale', 'NA-0027', 1),
 (128, 28, 1, 4, 280, '019910211', 1991, 'Amatoriale', 'ME-0028', 1),
 (129, 29, 1, 1, 35, '020190404', 2019, 'Professionale', 'PO-0029', 1),
 (130, 30, 1, 2, 140, '020171009', 2017, 'Professionale', 'TE-0030', 1),
 (131, 31, 1, 2, 135, '020171120', 2017, 'Professionale', 'TE-0031', 1),
 (132, 32, 1, 3, 190, '020000801', 2000, 'Amatoriale', 'SA-0032', 1),
 (133, 33, 1, 2, 110, '000000000', 0, 'Amatoriale', 'TE-0033', 1),
 (134, 34, 2, 7, 560, '020110214', 2011, 'Professionale', 'NA-0034', 1),
 (135, 35, 1, 3, 210, '020110509', 2011, 'Professionale', 'PO-0035', 1),
 (136, 36, 1, 2, 150, '020130115', 2013, 'Professionale', 'TE-0036', 1),
 (137, 37, 1, 3, 180, '019870601', 1987, 'Amatoriale', 'PO-0037', 1),
 (138, 38, 1, 3, 190, '019870915', 1987, 'Amatoriale', 'PO-0038', 1),
 (139, 39, 2, 8, 640, '020060418', 2006, 'Professionale', 'NA-0039', 1),
 (140, 40, 4, 14, 1300, '020091111', 2009, 'Professionale', 'NA-0040', 1),
 (141, 41, 2, 7, 600, '019950620', 1995, 'Amatoriale', 'NA-0041', 1),
 (142, 42, 3, 11, 980, '020140227', 2014, 'Professionale', 'NA-0042', 1),
 (143, 43, 2, 6, 500, '019930707', 1993, 'Amatoriale', 'NA-0043', 1),
 (144, 44, 1, 2, 150, '020160321', 2016, 'Professionale', 'SA-0044', 1),
 (145, 45, 1, 3, NULL, '000000000', 0, '', 'PO-0045', 1),
 (146, 46, 6, 20, 2400, '020220110', 2022, 'Professionale', 'PO-0046', 1),
 (147, 47, 4, 14, 1500, '020220505', 2022, 'Professionale', 'PO-0047', 1),
 (148, 48, 1, 2, 100, '019820412', 1982, 'Amatoriale', 'TE-0048', 1),
 (149, 49, 1, 5, 380, '020020802', 2002, 'Professionale', 'ME-0049', 1),
 (150, 50, 2, 6, 450, '020160712', 2016, 'Professionale', 'RA-0050', 1),
 (151, 51, 2, 7, 560, '020070314', 2007, 'Amatoriale', 'ME-0051', 1),
 (152, 52, NULL, 1, 45, '019790909', 1979, 'Amatoriale', 'NA-0052', 1),
 (153, 1, 3, 0, 1580, '020040915', 2004, 'Professionale', 'NA-0101', 1);

INSERT INTO Provenienza VALUES
 (1, 'Sede centrale del Servizio Orvo', 'Via dei Lettori 1', 'Roma', '00100', 'RM',
  '06 5550100', '06 5550101', 'sede@example.org', 1),
 (2, 'Centro Orvo di Torino', 'Corso delle Voci 12', 'Torino', '10121', 'TO',
  '011 5550112', '011 5550113', 'torino@example.org', 1),
 (3, 'Centro Orvo di Milano', 'Via dell''Ascolto 3', 'Milano', '20121', 'MI',
  '02 5550103', '', 'milano@example.org', 1),
 (4, 'Biblioteca sonora di Bologna', 'Piazza dei Nastri 7', 'Bologna', '', 'BO',
  '051 5550107', '', 'bologna@example.org', 1),
 (5, 'Centro Orvo di Firenze', 'Via del Leggio 21', 'Firenze', '50122', 'FI',
  '055 5550121', '055 5550122', '', 1),
 (6, 'Punto di prestito di Forlì', 'Viale della Memoria 5', '', '47121', 'FC',
  '0543 555015', '', 'forli@example.org', 1),
 (7, 'Centro Orvo di Napoli', 'Vico delle Cassette 9', 'Napoli', '80134', 'NA',
  '081 5550109', '081 5550110', 'napoli@example.org', 1),
 (8, 'Centro Orvo di Palermo', 'Via dei Racconti 44', 'Palermo', '90133', 'PA',
  '091 5550144', '', 'palermo@example.org', 1),
 (9, 'Associazione Lettori dell''Aquila', 'Via Fonte Nuova 2', 'L''Aquila', '67100', 'AQ',
  '0862 555002', '', 'aquila@example.org', 1),
 (10, 'Centro Orvo di Cagliari', '', 'Cagliari', '09124', 'CA',
  '070 5550124', '', 'cagliari@example.org', 1),
 (11, 'Fondo donazioni Ferraguti', 'Via delle Stampe 8', 'Torino', '10123', 'TO',
  '', '', '', 0),
 (12, 'Centro Orvo di Trieste', 'Riva dei Lettori 6', '', '', 'TS',
  '040 5550106', NULL, 'trieste@example.org', 1);

-- Every recording but those of four works is held by one to three centres.
INSERT INTO Presenza
 SELECT CatalogoId, 2 + CatalogoId % 9 FROM Catalogo WHERE OperaId NOT IN (5, 26, 33, 45);
INSERT OR IGNORE INTO Presenza
 SELECT CatalogoId, 2 + (CatalogoId * 7) % 9 FROM Catalogo WHERE OperaId NOT IN (5, 26, 33, 45);
INSERT OR IGNORE INTO Presenza VALUES
 (101, 1), (101, 11), (101, 12), (110, 12), (115, 1), (136, 12), (153, 11);
)SQL";

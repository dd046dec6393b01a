"""A small catalogue of the suite's own, so that what Orca reads does not change with the
bundled sample: three works by one author to move through, one work that every search field
can find, one work held by no centre, and centres with and without e-mail."""
import datetime
import sqlite3

SCHEMA = """
CREATE TABLE Classi(ClasseId INTEGER PRIMARY KEY, ClasseNome TEXT);
CREATE TABLE Autori(AutoreId INTEGER PRIMARY KEY, AutoreNome TEXT);
CREATE TABLE Editori(EditoreId INTEGER PRIMARY KEY, EditoreNome TEXT);
CREATE TABLE Opere(OperaId INTEGER PRIMARY KEY, Titolo TEXT, Sottotitolo TEXT, Edizione INTEGER,
                   Pagine INTEGER, Descrizione TEXT, AutoreId INTEGER, EditoreId INTEGER,
                   ClasseId INTEGER);
CREATE TABLE Catalogo(CatalogoId INTEGER PRIMARY KEY, OperaId INTEGER, nCD INTEGER,
                      Cassette INTEGER, Minuti INTEGER, DataIncisione TEXT, AnnoIncisione INTEGER,
                      TipoRegistrazione TEXT, CodOrigine TEXT, Disponibile BOOLEAN NOT NULL);
CREATE TABLE Provenienza(ProvenienzaId INTEGER PRIMARY KEY, RagioneSociale TEXT, Indirizzo TEXT,
                         Localita TEXT, CAP TEXT, Provincia TEXT, Telefono TEXT, FAX TEXT,
                         EMail TEXT, CentroOrvo BOOLEAN NOT NULL);
CREATE TABLE Presenza(CatalogoId INTEGER, ProvenienzaId INTEGER,
                      PRIMARY KEY (CatalogoId, ProvenienzaId));
"""

GENRES = ["Narrativa", "Poesia", "Teatro"]
# The year of the one work that every field finds: the year before this one, first quarter.
FULL_SEARCH_YEAR = datetime.date.today().year - 1

# By title, as the results browser orders them.
VERNE_TITLES = ["Dalla Terra alla Luna", "Il giro del mondo in ottanta giorni",
                "Viaggio al centro della Terra"]
UNHELD_TITLE = "Le avventure di Pinocchio"
CENTRE_WITH_MAIL = "Centro Audiolibri Adriatico"
CENTRE_WITHOUT_MAIL = "Biblioteca Sonora del Lago"


def create(path):
    db = sqlite3.connect(path)
    db.executescript(SCHEMA)
    db.executemany("INSERT INTO Classi VALUES (?, ?)", enumerate(GENRES, 1))
    db.executemany("INSERT INTO Autori VALUES (?, ?)",
                   [(1, "Jules Verne"), (2, "Carlo Collodi")])
    db.executemany("INSERT INTO Editori VALUES (?, ?)",
                   [(1, "Edizioni del Faro"), (2, "Stamperia del Ponte")])
    db.executemany("INSERT INTO Opere VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", [
        (1, VERNE_TITLES[0], None, 1865, 240, "Un proiettile sparato verso la Luna.", 1, 2, 1),
        (2, VERNE_TITLES[1], "Romanzo di viaggio", 1873, 300,
         "Phileas Fogg scommette di fare il giro del mondo.", 1, 1, 1),
        (3, VERNE_TITLES[2], None, 1864, 280, "Una discesa nel cuore di un vulcano.", 1, 2, 1),
        (4, UNHELD_TITLE, None, 1883, 200, "Un burattino di legno.", 2, 2, 1),
    ])
    full = "0%d0215" % FULL_SEARCH_YEAR
    db.executemany("INSERT INTO Catalogo VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", [
        (101, 1, 1, 4, 420, "020100310", 2010, "Professionale", "VE-0001", 1),
        (102, 2, 2, 6, 540, full, FULL_SEARCH_YEAR, "Amatoriale", "VE-0002", 1),
        (103, 3, 1, 5, 480, "000000000", 0, "Professionale", "VE-0003", 1),
        (104, 4, 1, 3, 300, "019990101", 1999, "Amatoriale", "CO-0004", 1),
    ])
    db.executemany("INSERT INTO Provenienza VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", [
        (1, "Sede centrale", "Via Roma 1", "Roma", "00100", "RM", "06 000000", "", "", 1),
        (2, CENTRE_WITH_MAIL, "Via del Porto 3", "Ancona", "60121", "AN", "071 111111", "",
         "adriatico@example.org", 1),
        (3, CENTRE_WITHOUT_MAIL, "Piazza Grande 7", "Como", "22100", "CO", "031 222222", "",
         "", 1),
        (4, "Fornitore di nastri", "Via Lunga 9", "Milano", "20100", "MI", "", "", "", 0),
    ])
    db.executemany("INSERT INTO Presenza VALUES (?, ?)",
                   [(101, 3), (102, 2), (102, 3), (103, 2)])
    db.commit()
    db.close()

"""The works search, as heard: every field of the dialog, its combos, the refusals, and the
way from the dialog to the results browser with a fast and with a slow server."""
import datetime
import re

import catalogue
from srtest import ScreenReaderTest


class Search(ScreenReaderTest):
    def open_dialog(self):
        self.launch()
        self.press("alt+r")
        self.expect_each("Ricerca di opere dialogo", "Titolo: testo")

    def test_slow_genre_loading_ends_in_the_dialog(self):
        self.launch()
        self.expect(" pulsante")
        self.server.pause()
        self.press("alt+r")
        self.expect("Richiesta dati... dialogo")
        self.server.resume()
        self.expect_each("Ricerca di opere dialogo", "Titolo: testo")
        self.press("Tab", "Tab", "Tab")
        self.expect("Genere: casella combinata")
        self.press("Down")
        self.expect(catalogue.GENRES[0])

    def test_every_field_is_announced_with_its_label(self):
        self.open_dialog()
        # A combo may say more once its value is spoken (a choice, "modificabile").
        for spoken in ("Autore: testo.", "Editore: testo.", "Genere: casella combinata",
                       "Tipo registrazione: casella combinata",
                       "Periodo di registrazione (trimestre): casella combinata",
                       "Periodo di registrazione (anno): casella combinata",
                       "Pulisci i campi pulsante.", "Procedi pulsante.", "Annulla pulsante."):
            self.press("Tab")
            said = self.expect(re.compile(r"^(?!tabulazione$)"))
            self.assertTrue(said.startswith(spoken), "%r is not %r" % (said, spoken))

    def test_combo_choices_are_spoken(self):
        self.open_dialog()
        self.press("Tab", "Tab", "Tab")
        self.expect("Genere: casella combinata")
        today = datetime.date.today()
        # Choosing a quarter picks the year too: this one before April, the last one after.
        year = today.year if today.month >= 4 else today.year - 1
        for choice in ("Narrativa", "Amatoriale", "primo"):
            self.press("Down")
            self.expect(choice)
            self.press("Tab")
            self.expect("casella combinata")
        self.press("Down")
        self.expect(str(year - 1))
        # Up goes back, and a letter jumps to the choice it begins.
        self.press("shift+Tab", "shift+Tab")
        self.expect("Tipo registrazione: casella combinata")
        self.press("Up", "p")
        self.expect("Professionale")

    def fill_every_field(self):
        """Title, author, publisher and every combo, so that one work alone matches."""
        self.type("giro")
        self.press("Tab")
        self.expect("Autore: testo")
        self.type("verne")
        self.press("Tab")
        self.expect("Editore: testo")
        self.type("faro")
        self.press("Tab")
        self.expect("Genere: casella combinata")
        self.press("Down", "Tab")
        self.expect("Tipo registrazione: casella combinata")
        self.press("Down", "Tab")
        self.expect("(trimestre): casella combinata")
        self.press("Down", "Tab")
        self.expect("(anno): casella combinata")
        # The quarter chose this year from April on; the catalogue's work is of last year.
        if datetime.date.today().month >= 4:
            self.press("Down")

    def test_search_with_every_field_opens_the_browser(self):
        self.open_dialog()
        self.fill_every_field()
        self.press("Return")
        self.expect_each("Corrispondenze trovate: 1 dialogo", "Opera numero 1",
                         "Titolo dell'opera: %s." % catalogue.VERNE_TITLES[1])

    def test_insufficient_criteria_are_announced(self):
        self.open_dialog()
        self.press("Return")
        self.expect_each("allerta Errore", "Parametri di ricerca insufficienti", "OK pulsante")
        self.press("Return")
        self.expect_each("Ricerca di opere dialogo", "Titolo: testo")

    def test_search_without_matches_is_announced(self):
        self.open_dialog()
        self.type("zzz")
        self.press("Return")
        self.expect_each("allerta Errore", "Nessuna corrispondenza trovata.", "OK pulsante")
        self.press("Return")
        self.expect("Archivio del Orvo cornice")
        self.assertEqual(self.expect(" pulsante"), "Ricerca opere pulsante.")

    def test_cancel_returns_to_the_search_command(self):
        self.open_dialog()
        self.press("Escape")
        self.expect("Archivio del Orvo cornice")
        self.assertEqual(self.expect(" pulsante"), "Ricerca opere pulsante.")

    def search_author(self, pause_server=False):
        self.open_dialog()
        self.press("Tab")
        self.expect("Autore: testo")
        self.type("verne")
        if pause_server:
            self.server.pause()
        mark = self.mark()
        self.press("Return")
        return mark

    def assertStraightToBrowser(self, mark):
        """Nothing but the wait window between the dialog and the browser, and the browser
        is the last window Orca announces."""
        self.expect_each("Corrispondenze trovate: 3 dialogo",
                         "Titolo dell'opera: %s." % catalogue.VERNE_TITLES[0])
        self.sync()
        said = self.said_since(mark)
        windows = [u for u in said if u.endswith(" dialogo.") or u.endswith(" cornice.")]
        self.assertEqual(windows[-1], "Corrispondenze trovate: 3 dialogo.",
                         "Orca said:\n" + "\n".join(said))
        self.assertNotSaid("Archivio del Orvo", mark)
        self.assertNotSaid("Visualizza i Centri", mark)

    def test_fast_search_goes_straight_to_the_browser(self):
        self.assertStraightToBrowser(self.search_author())

    def test_slow_search_goes_straight_to_the_browser(self):
        mark = self.search_author(pause_server=True)
        self.expect("Richiesta dati... dialogo")
        self.server.resume()
        self.assertStraightToBrowser(mark)

    def test_wait_window_shows_its_progress_in_its_body(self):
        self.search_author(pause_server=True)
        self.expect("Richiesta dati... dialogo")
        labels = [name for _, role, showing, name in self.accessible_tree()
                  if role == "label" and showing]
        self.server.resume()
        self.assertIn("Richiesta dati...", labels)

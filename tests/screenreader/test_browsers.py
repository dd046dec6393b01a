"""The results browser, as heard: record moves, the go-to prompt, "Dove trovare l'opera" and
the centres it opens, a work held by no centre, saving the results, and closing."""
import os
import re

import catalogue
from srtest import ScreenReaderTest

TITLES = catalogue.VERNE_TITLES


def title_line(index):
    return "Titolo dell'opera: %s." % TITLES[index]


class Browsers(ScreenReaderTest):
    def open_browser(self, field="Autore", text="verne", found=3):
        self.launch()
        self.press("alt+r")
        self.expect_each("Ricerca di opere dialogo", "Titolo: testo")
        if field == "Autore":
            self.press("Tab")
            self.expect("Autore: testo")
        self.type(text)
        self.press("Return")
        self.expect("Corrispondenze trovate: %d dialogo" % found)
        # As a user does, the record is heard before anything is pressed: the window system's
        # last word on the wait window that went (an activation the program hands back) can
        # still be on its way until then.
        self.heard("Titolo dell'opera: ")

    def go_to(self, number):
        self.press("alt+v")
        self.expect_each("Immissione parametro dialogo",
                         "Immettere il numero del record sul quale posizionarsi: testo")
        self.type(str(number))
        self.press("Return")

    def test_record_moves_are_spoken(self):
        self.open_browser()
        self.expect(title_line(0))
        for keys, index in (("alt+s", 1), ("alt+u", 2), ("alt+p", 1), ("alt+r", 0)):
            self.press(keys)
            self.expect(title_line(index))

    def test_go_to_record_is_spoken(self):
        self.open_browser()
        self.go_to(3)
        self.expect_each("Corrispondenze trovate: 3 dialogo", "Opera numero 3", title_line(2))

    def test_go_to_record_out_of_range_is_announced(self):
        self.open_browser()
        self.go_to(9)
        self.expect_each("allerta Errore", "Valore oltre i limiti.", "OK pulsante")
        self.press("Return")
        self.expect_each("Corrispondenze trovate: 3 dialogo", "Opera numero 1")

    def open_centres_of_second_work(self):
        self.open_browser()
        self.go_to(2)
        self.expect(title_line(1))
        self.press("alt+d")
        self.expect_each("Centri trovati: 2 (opera codice VE-0002) dialogo",
                         "1 - %s" % catalogue.CENTRE_WITHOUT_MAIL,
                         catalogue.CENTRE_WITHOUT_MAIL + ".")

    def test_where_to_find_the_work_opens_its_centres(self):
        self.open_centres_of_second_work()
        self.press("alt+s")
        self.expect(catalogue.CENTRE_WITH_MAIL)
        self.press("Escape")
        self.expect("Corrispondenze trovate: 3 dialogo")
        # The browser is still on the work whose centres were shown: back past the eight
        # commands to the record text.
        self.press(*["shift+Tab"] * 8)
        self.expect(title_line(1))

    def test_closing_the_centres_returns_to_where_to_find(self):
        self.open_centres_of_second_work()
        self.press("Escape")
        self.expect("Corrispondenze trovate: 3 dialogo")
        self.assertEqual(self.expect(" pulsante"), "Dove trovare l'opera pulsante.")

    def test_slow_centres_lookup_returns_to_where_to_find(self):
        self.open_browser()
        self.expect(title_line(0))
        self.server.pause()
        self.press("alt+d")
        self.expect("Richiesta dati... dialogo")
        self.server.resume()
        self.expect_each("Centri trovati: 1 (opera codice VE-0001) dialogo",
                         catalogue.CENTRE_WITHOUT_MAIL + ".")
        self.press("Escape")
        self.expect("Corrispondenze trovate: 3 dialogo")
        self.assertEqual(self.expect(" pulsante"), "Dove trovare l'opera pulsante.")

    def test_work_held_by_no_centre_is_announced(self):
        self.open_browser(field="Titolo", text="pinocchio", found=1)
        self.expect("Titolo dell'opera: %s." % catalogue.UNHELD_TITLE)
        self.press("alt+d")
        self.expect_each("allerta Errore", re.compile(
            "Nessuna corrispondenza trovata\\.\\s+Forse l'opera non \u00e8 stata ancora "
            "registrata\\."), "OK pulsante")
        self.press("Return")
        self.expect("Corrispondenze trovate: 1 dialogo")
        self.assertEqual(self.expect(" pulsante"), "Dove trovare l'opera pulsante.")

    def test_save_results(self):
        target = os.path.join(self.desktop.root, "risultati")
        self.open_browser()
        self.press("alt+a")
        self.expect_each("Salva come dialogo", "Nome del file: testo")
        self.type(target)
        self.press("Return")
        self.expect_each("allerta Operazione completata", "File salvato.", "OK pulsante")
        self.press("Return")
        self.expect_each("Corrispondenze trovate: 3 dialogo", "Opera numero 1")
        with open(target + ".txt", encoding="cp1252", newline="") as saved:
            self.assertEqual([line for line in saved.read().split("\r\n") if line in TITLES],
                             TITLES)
        # The whole way, from start-up to the saved file, as the user heard it.
        print("\n" + self.transcript_text())

    def test_closing_the_browser_returns_to_the_search_command(self):
        self.open_browser()
        self.expect(title_line(0))
        self.press("Escape")
        self.expect("Archivio del Orvo cornice")
        self.assertEqual(self.expect(" pulsante"), "Ricerca opere pulsante.")

    def test_enter_presses_the_focused_button(self):
        self.open_browser()
        self.expect(title_line(0))
        self.press("Tab", "Tab", "Tab")
        self.expect("Successivo pulsante")
        self.press("Return")
        self.expect(title_line(1))

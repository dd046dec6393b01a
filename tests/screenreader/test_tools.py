"""The list of the works found and the help, as heard: each row of the list read as one line,
on opening and on every move, a letter that jumps to a title, Enter back in the browser, and
F1 reading the guide at the window's section."""
import re

import catalogue
from srtest import ScreenReaderTest

TITLES = catalogue.VERNE_TITLES
ROWS = ["%s, Jules Verne, Narrativa, Professionale, 420 minuti" % TITLES[0],
        "%s, Jules Verne, Narrativa, Amatoriale, 540 minuti" % TITLES[1],
        "%s, Jules Verne, Narrativa, Professionale, 480 minuti" % TITLES[2]]


class Tools(ScreenReaderTest):
    def open_list(self):
        self.launch()
        self.press("alt+r")
        self.expect_each("Ricerca di opere dialogo", "Titolo: testo")
        self.press("Tab")
        self.expect("Autore: testo")
        self.type("verne")
        self.press("Return")
        self.expect("Corrispondenze trovate: 3 dialogo")
        self.expect("Titolo dell'opera: %s." % TITLES[0])
        self.press("alt+e")
        self.expect("Elenco delle opere trovate dialogo")

    def test_each_row_is_read_as_one_line(self):
        self.open_list()
        start = self.mark()
        self.expect(ROWS[0])
        self.press("Down")
        self.expect(ROWS[1])
        self.press("v")
        self.expect(ROWS[2])
        # The row's other cells are not read again one by one after the line.
        self.sync()
        self.assertNotSaid(re.compile(r"^(Jules Verne|Narrativa|Professionale|540)\.?$"), start)
        self.press("Return")
        self.expect("Corrispondenze trovate: 3 dialogo")

    def test_f1_reads_the_help_of_the_window(self):
        self.open_list()
        self.press("F1")
        self.expect_each("Guida di Dravel dialogo", "L'elenco delle opere trovate")
        self.press("Down")
        self.expect("La finestra \"Elenco delle opere trovate\" mostra")
        self.press("Escape")
        self.expect("Elenco delle opere trovate dialogo")

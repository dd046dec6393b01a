"""The list of all centres, as heard: opening, moves and closing."""
import catalogue
from srtest import ScreenReaderTest


class Centres(ScreenReaderTest):
    def open_list(self):
        self.launch()
        self.press("alt+c")
        self.expect_each("Elenco centri di distribuzione del Orvo dialogo",
                         "1 - %s sola lettura testo" % catalogue.CENTRE_WITHOUT_MAIL,
                         catalogue.CENTRE_WITHOUT_MAIL + ".")

    def test_centres_list_is_announced(self):
        self.open_list()
        self.press("Tab")
        self.expect("Primo pulsante")

    def test_centre_moves_are_spoken(self):
        self.open_list()
        self.press("alt+s")
        self.expect(catalogue.CENTRE_WITH_MAIL)
        self.press("alt+r")
        self.expect(catalogue.CENTRE_WITHOUT_MAIL)

    def test_slow_server_list_is_announced_and_closes_to_its_command(self):
        self.launch()
        self.server.pause()
        self.press("alt+c")
        self.expect("Richiesta dati... dialogo")
        self.server.resume()
        self.expect_each("Elenco centri di distribuzione del Orvo dialogo",
                         catalogue.CENTRE_WITHOUT_MAIL + ".")
        self.press("Escape")
        self.expect("Archivio del Orvo cornice")
        self.assertEqual(self.expect(" pulsante"), "Visualizza i Centri pulsante.")

    def test_closing_returns_to_the_centres_command(self):
        self.open_list()
        self.press("Escape")
        self.expect("Archivio del Orvo cornice")
        self.assertEqual(self.expect(" pulsante"), "Visualizza i Centri pulsante.")

"""Start-up and connection, as heard: the main window, where the focus lands, the keys that
press its commands, and a connection that fails."""
import re
import socket

from srtest import STARTED, ScreenReaderTest


class StartUp(ScreenReaderTest):
    def focused_after_start(self):
        self.expect(re.compile("^Archivio del Orvo"), STARTED)
        return self.expect(" pulsante")

    def test_fast_server_start_focuses_search(self):
        self.start_server()
        self.start_client()
        self.assertEqual(self.focused_after_start(), "Ricerca opere pulsante.")

    def test_slow_server_start_focuses_search(self):
        self.start_server()
        self.server.pause()
        self.start_client()
        self.expect("in attesa di risposta", STARTED)
        self.server.resume()
        self.assertEqual(self.focused_after_start(), "Ricerca opere pulsante.")

    def focus_search_command(self):
        """Tabs to "&Ricerca opere", whichever command the start left focused."""
        focused = self.focused_after_start()
        for _ in range(6):
            if focused == "Ricerca opere pulsante.":
                return
            self.press("Tab")
            focused = self.expect(" pulsante")
        self.fail("Tab never reached \"Ricerca opere\"")

    def test_space_presses_focused_main_command(self):
        self.start_server()
        self.start_client()
        self.focus_search_command()
        self.press("space")
        self.expect_each("Ricerca di opere dialogo", "Titolo: testo")

    def test_enter_presses_focused_main_command(self):
        self.start_server()
        self.start_client()
        self.focus_search_command()
        self.press("Return")
        self.expect_each("Ricerca di opere dialogo", "Titolo: testo")

    def test_refused_connection_is_announced(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            closed_port = probe.getsockname()[1]
        self.start_client(port=closed_port)
        # The number and what it means are read out together, as one text.
        self.expect_each("allerta Errore", re.compile(
            r"Errore numero 10061 durante la connessione\.\s+Il server ha rifiutato .*"
            r"Per riprovare: Impostazioni, Riconnetti \(F5\)\."), "OK pulsante",
                         timeout=STARTED)

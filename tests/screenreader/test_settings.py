"""The settings dialog and the About box, reached from the menu by keyboard, as heard."""
import re

from srtest import ScreenReaderTest



class Settings(ScreenReaderTest):
    def open_menu_item(self, downs):
        """F10 opens the "Impostazioni" menu (it has no mnemonic); then Down and Enter."""
        self.launch()
        self.expect(" pulsante")
        self.press("F10")
        self.expect("Impostazioni.")
        self.press("Down")
        self.expect("Modifica...")
        for _ in range(downs):
            self.press("Down")
            self.expect("Informazioni su...")
        self.press("Return")

    def open_settings(self):
        self.open_menu_item(0)
        self.expect_each("Impostazioni... dialogo", "E' SCONSIGLIATO modificare questa sezione!",
                         "Indirizzo del server: testo")

    def test_every_field_is_announced_with_its_label(self):
        self.open_settings()
        for spoken in ("Porta remota: testo.", "Servizio remoto (se gestito): testo.",
                       "Ok pulsante.", "Annulla pulsante.",
                       "Visualizzazione adatta per programmi di videolettura casella di spunta "
                       "spuntata."):
            self.press("Tab")
            self.expect(spoken)
        self.press("Escape")
        self.expect("Archivio del Orvo cornice")

    def test_empty_address_is_announced(self):
        self.open_settings()
        # End, then more BackSpaces than the address has characters: whatever was selected,
        # the field is empty (select-all and delete depend on what the selection was).
        self.press("End", *["BackSpace"] * 20)
        self.press("Return")
        self.expect_each("allerta Errore", "Impostare l'indirizzo del server.", "OK pulsante")
        self.press("Return")
        self.expect_each("Impostazioni... dialogo", "Indirizzo del server: testo")

    def test_accepted_settings_warn_of_the_next_connection(self):
        self.open_settings()
        self.press("Return")
        self.expect_each("allerta Attenzione...", re.compile(
            r"Eventuali modifiche avranno effetto solo\s+alla prossima connessione"),
            "OK pulsante")
        self.press("Return")
        self.expect("Archivio del Orvo cornice")

    def test_about_box_is_announced(self):
        self.open_menu_item(1)
        self.expect_each("allerta Informazioni su...", re.compile(
            r"Dravel ver\. 2\.0\.3\s+Server remoto: ZEDUVOZ ver\. 2\.1\.0"), "OK pulsante")

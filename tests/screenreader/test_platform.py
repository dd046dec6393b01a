"""Ways around what Qt 6.4 and Orca 43 leave silent, tried on a small window of our own (the
a11y_probe program) rather than on the client: what Orca says for a combo box choice made with
Down, and for a record text replaced by a button, with each variant. Every variant's transcript
is printed, so a run of this module is also the record of what the platform does."""
import os

from srtest import ScreenReaderTest


class Platform(ScreenReaderTest):
    def start_probe(self, combo, memo):
        self.client = self.desktop.procs.start(
            "a11y_probe", [os.environ["A11Y_PROBE"], combo, memo], self.desktop.app_env())
        self.client.running = lambda: self.client.poll() is None
        self.client.stop = lambda: self.desktop.procs.stop(self.client)
        self.expect_each("Prova dialogo", "Genere: casella combinata")

    def said_after(self, keys, expected=None):
        """What Orca says for keys, up to the moment it has dealt with all they caused (and
        has said expected, when given)."""
        mark = self.mark()
        self.press(keys)
        if expected is not None:
            self.expect(expected)
        self.sync()
        said = self.said_since(mark)
        print("    %s -> %s" % (keys, said))
        return said

    def combo_choice(self, variant, expected=None):
        self.start_probe(variant, "plain")
        return self.said_after("Down", expected)

    def test_plain_combo(self):
        print(self.combo_choice("plain"))

    def test_editable_combo_with_selected_text_speaks_the_choice(self):
        self.combo_choice("editable", "Narrativa")

    def test_editable_combo_without_selection(self):
        print(self.combo_choice("editable-unselected"))

    def record_move(self, variant, expected=None):
        self.start_probe("plain", variant)
        return self.said_after("alt+s", expected)

    def test_plain_record_move(self):
        print(self.record_move("plain"))

    def test_refocused_record_move(self):
        print(self.record_move("refocus"))

    def test_record_move_refocused_after_a_pause_speaks_the_first_line(self):
        self.record_move("refocus-delayed", "Titolo dell'opera: Secondo libro")

    def test_record_move_refocused_later(self):
        print(self.record_move("refocus-later"))

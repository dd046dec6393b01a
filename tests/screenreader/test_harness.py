"""The suite's own parts that need no desktop: reading Orca's log, and how known faults count."""
import io
import os
import tempfile
import unittest

import harness
import run
from srtest import known_fault


class TranscriptTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.path = os.path.join(folder.name, "orca.log")
        self.transcript = harness.Transcript(self.path)

    def write(self, text):
        with open(self.path, "a", encoding="utf-8") as log:
            log.write(text)

    def test_reads_each_form_of_speech_line_as_it_grows(self):
        self.assertEqual(self.transcript.refresh(), [])
        self.write("12:00:00.000001 - EVENT MANAGER: something\n"
                   "12:00:00.000002 - SPEECH OUTPUT: 'Ricerca opere pulsante.'"
                   "{'established': False}\n"
                   "12:00:00.000003 - SPEECH OUTPUT: 'invio ' {'established': False}\n"
                   "12:00:00.000004 - SPEECH OUTPUT: 'Narrativa'[{'established': False}]\n"
                   "12:00:00.000005 - SPEECH OUTPUT: 'Dove trovare l'opera pulsante.'{}\n"
                   "12:00:00.000006 - SPEECH OUTPUT: 'half")
        self.assertEqual(self.transcript.refresh(),
                         ["Ricerca opere pulsante.", "invio", "Narrativa",
                          "Dove trovare l'opera pulsante."])
        self.write(" a line'{}\n")
        self.assertEqual(self.transcript.refresh()[-1], "half a line")

    def test_joins_an_utterance_of_several_lines(self):
        self.write("12:00:00.000001 - SPEECH OUTPUT: 'Nessuna corrispondenza trovata.\n"
                   "                  Forse l'opera non è stata ancora registrata.'{}\n"
                   "12:00:00.000002 - SPEECH OUTPUT: 'OK pulsante.'{}\n")
        self.assertEqual(self.transcript.refresh(), [
            "Nessuna corrispondenza trovata.\nForse l'opera non è stata ancora registrata.",
            "OK pulsante."])

    def test_finds_text_or_pattern_from_a_position(self):
        self.write("1 - SPEECH OUTPUT: 'Esci pulsante.'{}\n"
                   "2 - SPEECH OUTPUT: 'Ricerca opere pulsante.'{}\n")
        self.assertEqual(self.transcript.find(" pulsante", 0), 0)
        self.assertEqual(self.transcript.find(" pulsante", 1), 1)
        self.assertIsNone(self.transcript.find("Centri", 0))
        with self.assertRaises(TimeoutError):
            self.transcript.wait_for("Centri", 0, 0.2)


class KnownFaultTest(unittest.TestCase):
    def outcome(self, body, flaky=False):
        class Case(unittest.TestCase):
            @known_fault("a fault", flaky=flaky)
            def test(self):
                body(self)

        result = run.Result(unittest.runner._WritelnDecorator(io.StringIO()), False, 0)
        Case("test").run(result)
        return result

    def test_a_failing_assertion_counts_as_a_known_fault(self):
        result = self.outcome(lambda case: case.fail("still broken"))
        self.assertTrue(result.wasSuccessful())
        self.assertEqual(len(result.expectedFailures), 1)

    def test_a_strict_known_fault_that_passes_fails_the_run(self):
        self.assertFalse(self.outcome(lambda case: None).wasSuccessful())

    def test_a_flaky_known_fault_may_pass(self):
        result = self.outcome(lambda case: None, flaky=True)
        self.assertTrue(result.wasSuccessful())
        self.assertEqual(len(result.unexpectedSuccesses), 0)

    def test_an_error_other_than_an_assertion_fails_the_run(self):
        def broken(case):
            raise RuntimeError("the harness broke")

        result = self.outcome(broken)
        self.assertFalse(result.wasSuccessful())
        self.assertEqual(len(result.errors), 1)


if __name__ == "__main__":
    unittest.main()

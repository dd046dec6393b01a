# The sanitizers' options for every program of the sanitized suite (sourced by scripts/test).
# shellcheck shell=bash
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# A report fails the program that made it; leaks in the system's libraries are theirs.
export ASAN_OPTIONS="abort_on_error=1:detect_stack_use_after_return=0:strict_string_checks=1:check_initialization_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

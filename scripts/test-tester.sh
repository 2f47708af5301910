#!/bin/sh
# The unit tests shipped with the examples and the kit's library, run by
# the test runner itself under --check, with its JUnit file checked; each
# file's tests again for the coverage of its program; then every shipped
# test file validated against the shipped JSON Schema by a standard
# validator (ajv-cli, installed from tests/tester/package-lock.json into
# tests/tester/node_modules the first time):
#
#   scripts/test-tester.sh BUILD/emu6502
set -eu
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$binary" test --check --junit "$work/junit.xml" examples/*.test.json | tee "$work/out"
# The JUnit file: well formed, one testcase per test, the same counts as
# the summary line.
python3 - "$work/junit.xml" "$work/out" <<'PY'
import re, sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
summary = open(sys.argv[2]).read().splitlines()[-1]
m = re.fullmatch(r"(\d+) passed, (\d+) failed(?:, (\d+) skipped)?", summary)
assert m, "no summary line: " + summary
passed, failed, skipped = int(m[1]), int(m[2]), int(m[3] or 0)
cases = root.findall("./testsuite/testcase")
assert root.tag == "testsuites" and len(cases) == passed + failed + skipped, "testcases do not match the summary"
assert int(root.get("tests")) == len(cases) and int(root.get("failures")) == failed and int(root.get("skipped")) == skipped
assert sum(1 for c in cases if c.find("skipped") is not None) == skipped
assert sum(1 for c in cases if c.find("failure") is not None) == failed
print("junit ok: %d testcases in %d testsuites" % (len(cases), len(root.findall("testsuite"))))
PY

# The coverage of each example by its tests: a file of LCOV records, some
# of whose lines ran.
for file in examples/*.test.json; do
    info=$work/$(basename "$file" .test.json).info
    "$binary" test --coverage "$info" "$file" >/dev/null
    grep -q '^LH:[1-9]' "$info" || { echo "coverage of $file: no line ran"; exit 1; }
done
echo "coverage ok: $(ls "$work"/*.info | wc -l) programs"

cd tests/tester
[ -d node_modules ] || npm ci --no-audit --no-fund --loglevel=error
npx ajv validate --strict=false -s ../../schema/emu6502-test.schema.json -d "../../examples/*.test.json"

#!/bin/sh
# Loads the review page of a batch dry run in headless Chromium and checks
# it against the batch's JSON report: the summary's counts, one diff row,
# and a project whose name is markup shown as text with nothing run. Keeps
# the page's screenshot.
#   review_page.sh PATH-TO-vireo-migrate SCREENSHOT
set -eu
binary=$1
screenshot=$2
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/vireo-browser.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" TMPDIR="$work/tmp" WINEPREFIX="" LC_ALL=C TERM=dumb
mkdir -p "$HOME" "$TMPDIR" "$work/share"
for name in accounts stock; do
    cp -r "$source_dir/examples/inventory" "$work/share/$name"
done
hostile="$work/share/<script>alert(1)<"
cp -r "$source_dir/examples/inventory" "$hostile"
mv "$hostile/Inventory.vbp" "$hostile/script>.vbp"
printf 'Module=M; M.bas\r\n' >"$work/share/plain.vbp"
printf 'Option Explicit\r\n' >"$work/share/M.bas"
cd "$work"
status=0
"$binary" convert -r --dry-run --html page.html --report report.json share >/dev/null 2>&1 ||
    status=$?
# 2: plain.vbp, with no grid, is skipped.
[ "$status" -eq 2 ] || { echo "review page: the dry run ended with $status" >&2; exit 1; }
chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
    --dump-dom "file://$work/page.html" >dom.html 2>/dev/null
chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
    --hide-scrollbars --window-size=1100,1500 --screenshot="$work/shot.png" \
    "file://$work/page.html" >/dev/null 2>&1
cp shot.png "$screenshot"
python3 - dom.html report.json <<'PY'
import html.parser, json, sys

class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.counts, self.rows, self.scripts, self.text = {}, [], 0, []
        self._cell = None
        self._row = None
    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "script":
            self.scripts += 1
        if tag == "td" and "data-outcome" in attrs:
            self._cell = attrs["data-outcome"]
        if tag == "tr" and attrs.get("class") in ("marker", "add", "del", "old"):
            self._row = [attrs["class"], ""]
    def handle_endtag(self, tag):
        if tag == "tr" and self._row:
            self.rows.append(self._row)
            self._row = None
    def handle_data(self, data):
        self.text.append(data)
        if self._cell is not None:
            self.counts[self._cell] = int(data)
            self._cell = None
        if self._row is not None:
            self._row[1] += data

page = Page()
page.feed(open(sys.argv[1], encoding="utf-8").read())
report = json.load(open(sys.argv[2]))
words = {"converted": "would be converted", "nothing-to-convert": "nothing to convert",
         "already-converted": "already converted"}
expected = {}
for project in report["projects"]:
    word = words.get(project["outcome"], project["outcome"])
    expected[word] = expected.get(word, 0) + 1
problems = []
if page.counts != expected:
    problems.append("summary counts %s, report %s" % (page.counts, expected))
changed = [f for p in report["projects"] for f in (p["run"] or {}).get("files", [])
           if f["result"] == "changed" and f["path"].endswith("Grids.bas")]
if not changed or not any(r[0] == "marker" for r in page.rows):
    problems.append("no marker row for a changed file")
if not any(r[0] == "add" and "VireoCore45." in r[1] for r in page.rows):
    problems.append("no rewritten declaration row")
if page.scripts:
    problems.append("the page holds %d script elements" % page.scripts)
if "<script>alert(1)</script>.vbp" not in "".join(page.text):
    problems.append("the hostile project name is not shown as text")
if problems:
    print("review page: " + "; ".join(problems), file=sys.stderr)
    sys.exit(1)
print("review page: %d projects, counts %s, %d diff rows checked in Chromium"
      % (len(report["projects"]), page.counts, len(page.rows)))
PY

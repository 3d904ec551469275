#!/usr/bin/env bash
# Records a deletion-protection event: appends one JSON line to the journal in
# the support folder and writes the deletion report page into the log folder.
set -euo pipefail
support="${SAVEWRIGHT_DEMO_SUPPORT:-../support}"
mkdir -p "$support/state" logs
id="schutz-$(date +%Y%m%d-%H%M%S)"
printf '{"id":"%s","kind":"schutz","summary":"2 Dateien vor dem Löschen bewahrt"}\n' "$id" >> "$support/state/loeschschutz.jsonl"
cat > "logs/Löschbericht.html" <<HTML
<!doctype html><meta charset="utf-8"><title>Löschbericht</title>
<h1>Löschbericht</h1>
<h2 id="$id">$id</h2><p>2 Dateien in backup/Dokumente wären gelöscht worden und wurden aufbewahrt.</p>
HTML
echo "Löschschutz-Eintrag $id geschrieben"

#!/usr/bin/env bash
# Checks that the shared library given as $1 defines exactly the 40 public functions.
set -euo pipefail

expected="prcappendrecord prcappendresource prcbuftouint16 prcclose prccreate prcdestroy
prcdestroyrecord prcdestroyresource prcflush prcfpopen prcfwriteheader prcgeterrno
prcgetnextrecord prcgetnextresource prcgetnrecords prcgetrecord prcgetresource prcmaprecords
prcmapresources prcnewrecord prcnewresource prcopen prcrecordset prcremoverecord
prcremoveresource prcresourceset prcsetappinfo prcsetname prcsetsortinfo prcstreamread
prcstreamwrite prcstrerror prcstrfattr prcstrpattr prcstrprecordattr prcstrtotime
prcstrtotype prctime prctimetostr prctypetostr"

actual=$(nm -D --defined-only "$1" | awk '{ print $3 }' | sort)
wanted=$(tr -s ' \n' '\n\n' <<<"$expected" | sort)
if [ "$actual" != "$wanted" ]; then
    diff <(echo "$wanted") <(echo "$actual") || true
    echo "exported names differ (< missing, > unexpected)" >&2
    exit 1
fi
[ "$(wc -l <<<"$actual")" -eq 40 ]
if nm -D --defined-only "$1" | awk '$2 != "T" { bad = 1 } END { exit !bad }'; then
    echo "an exported name is not a function" >&2
    exit 1
fi

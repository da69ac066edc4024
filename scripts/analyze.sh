#!/usr/bin/env bash
# Static analysis of the whole tree: clang-tidy (.clang-tidy) and cppcheck
# over the pure core and the native tests (native build) and over the Win32
# layer, its tests and the test driver (mingw-w64 build). GoogleTest's own
# sources and the build folders are left out. Exits non-zero on any finding
# or on a file that does not parse.
#
# clang-tidy takes its checks from the .clang-tidy files alone: the tree's
# own, the ones of src/ (the path-sensitive analyzer), tests/ and bench/
# (relaxations for test code), which add to it, and for the mingw-w64 pass
# .clang-tidy-win32 on top (relaxations the Win32 API requires). In a folder,
# `clang-tidy --dump-config FILE --` shows what applies to FILE.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
t0=$(date +%s)

install_deps

echo "== configuring build/native, build/bench and build/mingw (compile databases)"
configure native
# The benchmarks are compiled only in the bench build; configuring it is
# enough to analyse them.
configure bench
configure mingw

# One compile database per pass, holding each of the project's files once:
# native = the core, the native tests, fuzz targets, benchmarks and the
# simulation;
# win32 = the *_win32 sources and every test file of the mingw-w64 build
# (the core's sources there are the same as natively). Include response
# files are expanded so that cppcheck sees the include paths too; for
# cppcheck a second database leaves out GoogleTest's include paths (its
# googletest library file stands for them).
out="$root/build/analysis"
rm -rf "$out"
mkdir -p "$out/native" "$out/win32" "$out/native-cppcheck" "$out/win32-cppcheck"
python3 - "$root" "$out" <<'EOF'
import json, os, re, shlex, sys

root, out = sys.argv[1], sys.argv[2]

def load(build):
    with open(os.path.join(root, "build", build, "compile_commands.json")) as f:
        return json.load(f)

def expand(entry):
    args = []
    for arg in shlex.split(entry["command"]):
        if arg.startswith("@"):
            with open(os.path.join(entry["directory"], arg[1:])) as f:
                args += shlex.split(f.read())
        else:
            args.append(arg)
    return args

def without_gtest(args):
    kept, skip = [], False
    for arg in args:
        if skip:
            skip = False
        elif arg == "-isystem":
            skip = True
        elif not arg.startswith("-isystem"):
            kept.append(arg)
    return kept

def write(name, entries):
    for suffix, transform in (("", lambda a: a), ("-cppcheck", without_gtest)):
        db = [{"directory": e["directory"], "file": e["file"],
               "arguments": transform(expand(e))} for e in entries]
        with open(os.path.join(out, name + suffix, "compile_commands.json"), "w") as f:
            json.dump(db, f, indent=1)
    print(f"   {name}: {len(entries)} files")

def select(entries, keep):
    chosen, seen = [], set()
    for e in entries:
        rel = os.path.relpath(os.path.join(e["directory"], e["file"]), root)
        if rel.startswith("..") or rel in seen or not keep(rel):
            continue
        seen.add(rel)
        chosen.append(e)
    return chosen

native = select(load("native"), lambda r: r.startswith(("src/", "tests/", "sim/")))
native += select(load("bench"), lambda r: r.startswith("bench/"))
win32 = select(load("mingw"), lambda r: r.startswith(("tests/", "bench/")) or
               (r.startswith("src/") and re.search(r"_win32\.cpp$", r)))
write("native", native)
write("win32", win32)
EOF

# clang (as clang-tidy) targets x86_64-w64-mingw32 with the mingw-w64 GCC's
# own C++ library headers and Windows headers. Its driver does not find the
# Debian GCC folder (named 12-posix), and would add /usr/include, so the
# search path is given whole.
gcc_version=$(x86_64-w64-mingw32-g++-posix -dumpversion)
gxx_include=/usr/lib/gcc/x86_64-w64-mingw32/${gcc_version}-posix/include/c++
[[ -d "$gxx_include" ]] || gxx_include=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=include/c++/cstdio)")
win32_args=(
  -extra-arg=--target=x86_64-w64-mingw32
  -extra-arg=-nostdinc
  -extra-arg=-isystem"$gxx_include"
  -extra-arg=-isystem"$gxx_include/x86_64-w64-mingw32"
  -extra-arg=-isystem"$gxx_include/backward"
  -extra-arg=-isystem"$(clang -print-resource-dir)/include"
  -extra-arg=-isystem/usr/x86_64-w64-mingw32/include
)
# The mingw-w64 pass adds the Win32 relaxations to each file's own
# configuration (InheritParentConfig in the file), given as one line.
win32_args+=(-config="$(sed '/^[[:space:]]*#/d' "$root/.clang-tidy-win32" | tr -s '[:space:]' ' ')")

log="$out/findings.log"
: >"$log"
tidy_failed=0

re_escape() { sed 's/[][\.*^$+?(){}|/]/\\&/g' <<<"$1"; }
root_re=$(re_escape "$root")

# tidy LABEL DATABASE FOLDER [OPTION...]: runs run-clang-tidy (or xargs)
# over the files of a database under a folder of the tree; shows one line
# per file and every finding.
tidy() {
  local label=$1 db=$2 dir=$3
  shift 3
  echo "== clang-tidy: $label"
  local pattern="^$root_re/$dir/"
  set +e
  if command -v run-clang-tidy >/dev/null; then
    run-clang-tidy -quiet -j"$jobs" -p "$db" "$@" "$pattern" 2>&1
  else
    python3 -c 'import json,sys; print("\n".join(e["file"] for e in json.load(open(sys.argv[1]))))' \
      "$db/compile_commands.json" | grep -P "$pattern" |
      xargs -r -P"$jobs" -n1 clang-tidy --quiet -p "$db" "$@" 2>&1
  fi | sed -u 's/\x1b\[[0-9;]*m//g' | tee -a "$log" | awk -v root="$root/" '
    /^(clang-tidy|\/usr\/bin\/clang-tidy)[^ ]* / { print "   " substr($NF, length(root) + 1); next }
    /^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$/ { next }
    /^Suppressed [0-9]+ warnings/ || /^Use -header-filter=/ { next }
    { print }'
  local rc=${PIPESTATUS[0]}
  set -e
  ((rc == 0)) || tidy_failed=1
}

tidy "pure core (native, with the analyzer)" "$out/native" src
tidy "native tests and fuzz targets" "$out/native" tests
tidy "native benchmarks" "$out/native" bench
tidy "simulation" "$out/native" sim
tidy "Win32 layer (mingw-w64, with the analyzer)" "$out/win32" src "${win32_args[@]}"
tidy "Win32 tests and driver (mingw-w64)" "$out/win32" tests "${win32_args[@]}"
tidy "Win32 benchmarks (mingw-w64)" "$out/win32" bench "${win32_args[@]}"

# A finding is a diagnostic line "path:line:col: warning|error: ..." (the
# location is missing for code pasted by a macro), counted once though a
# header's finding shows in every file that includes it.
tidy_findings=$({ grep -E '^(/[^:]+:[0-9]+:[0-9]+: )?(warning|error): ' "$log" || true; } | sort -u | wc -l)

# cppcheck: the warning, performance and portability checks (style is
# clang-tidy's business here), the standard library's and GoogleTest's
# configurations, and the Windows one for the mingw-w64 pass.
suppressions="$root/.cppcheck-suppressions"
cppcheck_log="$out/cppcheck.log"
: >"$cppcheck_log"
cppcheck_failed=0
cppcheck_pass() {
  local label=$1 db=$2
  shift 2
  echo "== cppcheck: $label"
  set +e
  cppcheck --project="$db/compile_commands.json" --enable=warning,performance,portability \
    --error-exitcode=1 --inline-suppr --suppressions-list="$suppressions" \
    --library=googletest "$@" -j"$jobs" --quiet \
    --template='{file}:{line}:{column}: {severity}: {message} [{id}]' 2>&1 | tee -a "$cppcheck_log"
  local rc=${PIPESTATUS[0]}
  set -e
  ((rc == 0)) || cppcheck_failed=1
}
cppcheck_pass "pure core, native tests, fuzz targets, benchmarks and the simulation" "$out/native-cppcheck" --platform=unix64
cppcheck_pass "Win32 layer, its tests and driver" "$out/win32-cppcheck" --platform=win64 --library=windows \
  -D_WIN32 -D_WIN64 -D__MINGW32__ -D__MINGW64__
cppcheck_findings=$({ grep -E '^[^ ]+:[0-9]+:[0-9]+: [a-z]+: ' "$cppcheck_log" || true; } | sort -u | wc -l)

elapsed=$(($(date +%s) - t0))
echo
echo "clang-tidy: ${tidy_findings} findings; cppcheck: ${cppcheck_findings} findings (logs in build/analysis)"
if ((tidy_failed || cppcheck_failed || tidy_findings || cppcheck_findings)); then
  ((tidy_findings || cppcheck_findings)) || echo "a tool failed without a finding; see its output above" >&2
  echo "analyze.sh: FAILED, $((tidy_findings + cppcheck_findings)) findings in ${elapsed}s"
  exit 1
fi
echo "analyze.sh: clean (clang-tidy and cppcheck, native and mingw-w64) in ${elapsed}s"

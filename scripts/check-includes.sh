#!/usr/bin/env bash
# Checks that every folder of the program includes only its own floor or the floors below:
#   core → store → link → ui, book → send → gateway → app
# Prints each include that runs upward as file:line and fails when there is one. The units of
# the headless library must not include Qt Widgets or Qt Gui headers either.
# tests/, bench/ and fuzz/ stand outside the house and may include anything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

declare -A floor=([core]=0 [store]=1 [link]=2 [ui]=3 [book]=3 [send]=4 [gateway]=5 [app]=6)

bad=0
for dir in "${!floor[@]}"; do
    [[ -d $dir ]] || continue
    while IFS=: read -r file line text; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
        [[ -n ${floor[$target]+set} ]] || continue
        if ((floor[$target] > floor[$dir])); then
            echo "$file:$line: $dir/ includes $target/, a floor above it: ${text#"${text%%[![:space:]]*}"}"
            bad=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$dir" --include='*.h' --include='*.cpp' || true)
done
# The encoder simulator is a program of its own: it includes nothing of the console.
if grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(core|store|link|ui|book|send|gateway|app)/' tools; then
    echo "tools/ must not include the console's folders"
    bad=1
fi

# Each folder's CMakeLists.txt lists its files for the headless library (tesma_core) or for
# the window library (tesma_gui); every file of the folder is in one list. The headless library
# links neither Qt Gui nor Qt Widgets: none of its files may include a header of either module.
declare -A gui_file=() listed=() gui_header=()
for dir in "${!floor[@]}"; do
    list=$dir/CMakeLists.txt
    [[ -f $list ]] || { echo "$list is missing: it lists the folder's files"; bad=1; continue; }
    target=""
    while read -r word; do
        case $word in
        target_sources\(tesma_core*) target=core ;;
        target_sources\(tesma_gui*) target=gui ;;
        \)) target="" ;;
        *.cpp | *.h)
            [[ -n $target ]] || continue
            listed[$dir/$word]=1
            [[ $target == gui ]] && gui_file[$dir/$word]=1
            ;;
        esac
    done < <(sed -e 's/#.*//' "$list" | tr -s ' \t' '\n' | grep -v '^$')
    for f in "$dir"/*.cpp "$dir"/*.h; do
        [[ -e $f && $f != app/main.cpp && -z ${listed[$f]+set} ]] || continue
        echo "$f is in neither library: list it in $list"
        bad=1
    done
done
# Header names of both modules, as the installed Qt has them; a short list when Qt is not there.
qt_headers=$(qtpaths6 --query QT_INSTALL_HEADERS 2>/dev/null || true)
if [[ -d $qt_headers/QtWidgets && -d $qt_headers/QtGui ]]; then
    mapfile -t gui_headers < <(ls "$qt_headers/QtWidgets" "$qt_headers/QtGui" | grep -E '^Q|\.h$')
else
    gui_headers=(QtWidgets QtGui QApplication QGuiApplication QWidget QDialog QMessageBox QAction QLabel
        QPushButton QLineEdit QComboBox QCheckBox QTableView QMainWindow QLayout QVBoxLayout QHBoxLayout
        QGridLayout QFileDialog QProgressBar QStatusBar QToolBar QMenu QMenuBar QColor QFont QPixmap QIcon
        QKeyEvent QPainter QScreen QWindow)
fi
for h in "${gui_headers[@]}"; do gui_header[$h]=1; done
while IFS=: read -r file line text; do
    [[ $file == app/main.cpp || -n ${gui_file[$file]+set} ]] && continue
    header=${text#*<}
    header=${header%%>*}
    if [[ $header == QtWidgets/* || $header == QtGui/* || -n ${gui_header[$header]+set} ]]; then
        echo "$file:$line: ${file%%/*}/CMakeLists.txt puts this file in the headless library (tesma_core), which links neither Qt Widgets nor Qt Gui: ${text#"${text%%[![:space:]]*}"}"
        bad=1
    fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' core store link ui book send gateway app \
    --include='*.h' --include='*.cpp' || true)

if ((bad)); then
    echo "include check failed"
    exit 1
fi
echo "include check passed"

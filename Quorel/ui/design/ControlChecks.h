#pragma once

#include <QString>

#include <cstdio>
#include <functional>

class QWidget;

namespace quorel {

class StudioSlider;

// A self-test of StudioSlider without a user: a real slider (0...12, step 0.5, value 6, label
// "Boost", unit "dB") in a window that is never shown, driven through accessible actions,
// keyboard focus, an arrow key, the range limits and the disabled state.
namespace ControlChecks {

inline constexpr const char* successLine =
    "Controles: foco, teclado, ações de acessibilidade, limites e estado desabilitado OK (6 verificações).\n";
inline constexpr const char* resultFileName = "control-check.txt";
inline constexpr int noSlider = -1;

// Makes the slider to test inside `host`; the default makes a StudioSlider.
using SliderFactory = std::function<QWidget*(QWidget* host)>;

// Runs the six checks; 0 when all pass, else the number (1...6) of the first that failed, or
// noSlider when the host holds no slider.
int check(const SliderFactory& factory = {});

// Where the result file goes: beside the executable when its folder is writable (a build tree),
// else $XDG_STATE_HOME/Quorel (an installed /usr/bin/quorel).
QString resultFolder(const QString& executableFolder);

// The command: runs the checks; on success prints the line (then an empty line) to `out` and
// writes it to `resultFolder`/control-check.txt, returning 0, or, when the file cannot be
// written, says why on `err` and returns 1; a failed check returns 1 with nothing printed or
// written; a missing slider is a fatal stop.
int run(const QString& resultFolder, std::FILE* out = stdout, std::FILE* err = stderr);
int run();  // into resultFolder() of the executable's folder

}  // namespace ControlChecks
}  // namespace quorel

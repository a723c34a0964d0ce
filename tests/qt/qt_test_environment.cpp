// Set-up of the test binary itself: the Qt environment, and what the race checker is told.
#include "qt_test_support.h"

namespace {
[[maybe_unused]] const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new nicops::ui::qt::testing::QtEnvironment);
}  // namespace

// Qt's raster engine spreads image work over a thread pool of its own. The distribution's Qt is
// not built for the race checker, which therefore can't see that pool's synchronisation and
// reports its memory hand-overs (frees and copies made inside Qt). Those reports are muted; the
// program's own threads and the view's queue stay fully checked. Without the race checker this
// function is never called.
extern "C" const char* __tsan_default_suppressions() {  // NOLINT(bugprone-reserved-identifier)
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n";
}

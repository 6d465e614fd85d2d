// The one Qt application of the HIToolbox test programs: offscreen under
// ./test.sh, on the private X server under scripts/with-x11.sh.
#include <QtTestApplication.h>

#include <QApplication>

namespace {

const auto* const gApplication = AddQtTestApplication<QApplication>("HIToolboxTests");

}  // namespace

#include "demo/facts.h"

namespace rewindor {

DemoFacts ReadDemoFacts(ByteView) { return {}; }  // not yet read

}  // namespace rewindor

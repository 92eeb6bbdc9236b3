// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"

namespace ombrel {

// The pictures shipped in samples/ and written by the demo, drawn by code so
// the project owns them: an evening landscape (1024 x 768, colour) and an
// umbrella emblem (512 x 512, grey).
Image sampleCover();
Image sampleWatermark();

} // namespace ombrel

// SPDX-License-Identifier: Apache-2.0
#include "windows/flow.h"

#include "windows/frmdecode1.h"
#include "windows/frmdecode2.h"
#include "windows/frmencode1.h"
#include "windows/frmencode2.h"
#include "windows/frmencode3.h"
#include "windows/frmmain.h"
#include "windows/registry.h"

namespace ombrel::windows {

namespace {

Registry &registry() { return Registry::instance(); }

} // namespace

namespace embedding_flow {

void start(FrmMain &from) {
    from.hide();
    // Hiding the extraction screen loads it when it was not yet.
    registry().get<FrmDecode1>().hide();
    registry().reload<FrmEncode1>().show();
}

void next(FrmEncode1 &from) {
    registry().reload<FrmEncode2>().show();
    from.hide();
}

void next(FrmEncode2 &from) {
    from.hide();
    if (FrmEncode3 *done = registry().reloadIfLoaded<FrmEncode3>())
        done->show();
    else
        from.show();
}

void back(FrmEncode1 &from) { toMainMenu(from); }

void back(FrmEncode2 &from) {
    registry().reload<FrmEncode1>().show();
    from.hide();
}

void back(FrmEncode3 &from) {
    registry().reload<FrmEncode2>().show();
    from.hide();
}

} // namespace embedding_flow

namespace extraction_flow {

void start(FrmMain &from) {
    from.hide();
    registry().reload<FrmDecode1>().show();
}

void next(FrmDecode1 &from) {
    if (FrmDecode2 *result = registry().reloadIfLoaded<FrmDecode2>()) {
        result->show();
        from.hide();
    }
}

void back(FrmDecode1 &from) {
    FrmMain &main = registry().reload<FrmMain>();
    from.hide();
    main.show();
}

void back(FrmDecode2 &from) {
    FrmDecode1 &previous = registry().reload<FrmDecode1>();
    from.hide();
    previous.show();
}

} // namespace extraction_flow

void toMainMenu(Window &from) {
    from.hide();
    registry().reload<FrmMain>().show();
}

} // namespace ombrel::windows

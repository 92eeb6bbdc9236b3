// SPDX-License-Identifier: Apache-2.0
#pragma once

namespace ombrel::windows {

class Window;
class FrmMain;
class FrmEncode1;
class FrmEncode2;
class FrmEncode3;
class FrmDecode1;
class FrmDecode2;

// The order of each wizard's screens, in one place. Moving on opens the next
// screen afresh (unload, load, show) and hides the one left; a screen never
// names its neighbours itself.

// Embedding: frmmain -> frmEncode1 -> frmencode2 -> frmencode3.
namespace embedding_flow {
void start(FrmMain &from);
void next(FrmEncode1 &from);
// To the success screen; when it cannot show its pictures (reported by then)
// the embedding screen stays.
void next(FrmEncode2 &from);
void back(FrmEncode1 &from);
void back(FrmEncode2 &from);
void back(FrmEncode3 &from);
} // namespace embedding_flow

// Extraction: frmmain -> frmDecode1 -> frmdecode2.
namespace extraction_flow {
void start(FrmMain &from);
// To the result screen; when it cannot show the watermark (reported by then)
// the extraction screen stays.
void next(FrmDecode1 &from);
void back(FrmDecode1 &from);
void back(FrmDecode2 &from);
} // namespace extraction_flow

// "Go to main menu" on either result screen: the main window afresh.
void toMainMenu(Window &from);

} // namespace ombrel::windows

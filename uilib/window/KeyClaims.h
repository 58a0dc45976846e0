#pragma once

// Which keys a focused control claims before the windows' pre-message filters
// see them: a control answers DLGC_* bits (uilib/window/UIDefines.h) from
// CControlUI::GetKeyClaims, and the message loop asks here whether a key
// message falls under them. Alt combinations (WM_SYSKEYDOWN) are never
// claimed: they stay the window's.

#include "platform/win/Win.h"

// The DLGC_* class a key message belongs to; 0 for a message that is no key
// message a control can claim.
UINT KeyClaimClass(const MSG& message);
// Whether a control that answered `claims` takes this message first.
bool ControlClaimsKey(UINT claims, const MSG& message);

// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the control library offers, for owners that use several controls.
#pragma once

#include "skinwork/Application.h"
#include "skinwork/CButtonEx.h"
#include "skinwork/CCButtonEx.h"
#include "skinwork/CEditEx.h"
#include "skinwork/CListBoxEx.h"
#include "skinwork/CStaticEx.h"
#include "skinwork/CStaticFrameEx.h"
#include "skinwork/CStaticLEDEx.h"
#include "skinwork/CStaticMeterEx.h"
#include "skinwork/Color.h"
#include "skinwork/MessagePump.h"
#include "skinwork/VoiceEnable.h"

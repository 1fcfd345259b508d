#pragma once
// Everything of the class-library layer in one include.

#include "platform/VclApplication.h"
#include "platform/VclBuild.h"
#include "platform/VclControls.h"
#include "platform/VclCore.h"
#include "platform/VclDialogs.h"
#include "platform/VclForms.h"
#include "platform/VclLists.h"
#include "platform/VclMemo.h"
#include "platform/VclShell.h"
#include "platform/VclTimer.h"

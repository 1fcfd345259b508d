#pragma once
// Everything of the class-library layer in one include.

#include "platform/vcl/VclApplication.h"
#include "platform/vcl/VclBuild.h"
#include "platform/vcl/VclControls.h"
#include "platform/vcl/VclCore.h"
#include "platform/vcl/VclDialogs.h"
#include "platform/vcl/VclForms.h"
#include "platform/vcl/VclLists.h"
#include "platform/vcl/VclMemo.h"
#include "platform/vcl/VclShell.h"
#include "platform/vcl/VclTimer.h"

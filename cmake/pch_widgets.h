// Precompiled for the window's targets and its tests: Qt Core, Gui and Widgets.
#pragma once
#include "pch_core.h"
#include <QtGui/QtGui>
#include <QtWidgets/QtWidgets>

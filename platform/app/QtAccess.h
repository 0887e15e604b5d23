// platform/app/QtAccess.h: the Qt widget behind a window, for tests that drive it.
#pragma once

class BWindow;
class QWidget;

QWidget* qt_widget_of(const BWindow* window);

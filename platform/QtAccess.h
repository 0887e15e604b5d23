// platform/QtAccess.h: the Qt widgets behind platform objects, for tests that drive them.
#pragma once

class BWindow;
class MView;
class QWidget;

QWidget* qt_widget_of(const BWindow* window);
QWidget* qt_widget_of(const MView* view);

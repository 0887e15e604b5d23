// platform/layout/QtAccess.h: the Qt widgets behind layout views, for tests that drive them.
#pragma once

#include <QString>

class MStringView;
class MView;
class QWidget;

QWidget* qt_widget_of(const MView* view);
// The text a string view paints: its whole text, or that text elided to the room it has.
QString shown_text_of(const MStringView* view);

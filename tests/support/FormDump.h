#pragma once
// A form's controls as text (UTF-8), one line each, for comparing a whole form with what it
// should hold in one go: a caption that went missing, a hint on the wrong button or a
// radio button in the wrong group shows as one changed line.
//
// A line is the control's name, its class and the nearest named control it sits in,
// then what the class library shows of it, each only when it has one:
//   caption="..."   the caption (forms, labels, buttons, panels, group and tab captions)
//   label="..."     the caption label of a labelled edit
//   text="..."      the text of an edit or a combo box
//   hint="..."      the hint
//   max=N           the length limit of an edit or a combo box
//   items=[a|b]     the items of a combo box; shown=N how many its list shows at once
//   range=A..B position=P associate=Name   an up-down
//   lines=[a|b]     the lines of a memo
//   mask="..."      a file list's mask
//   interval=N      a timer's interval, with "off" when it does not run
// and the words kind=OK (a button of the OK kind), checked, disabled, readonly, picture
// (a picture label that holds a picture). Texts are quoted as they are, blanks included.
//
// After the named controls comes one line "? Class ..." for each control of the form
// that shows a text and has no name in the list, so that no text on the form escapes.

#include <QObject>
#include <QString>
#include <QWidget>

#include <initializer_list>
#include <string>

namespace testsupport {

struct NamedControl {
    const char* name;
    const QObject* control;
};

std::string ControlDump(const QWidget* form, std::initializer_list<NamedControl> controls);

} // namespace testsupport

#pragma once
// Builders for forms made in code: a standard control with its caption, place and size
// in one call, so that a form's definition reads as a list of its controls. Each sets
// only what it names; anything else (fonts, colours, handlers) the form sets after.

#include "platform/vcl/VclControls.h"

namespace vcl {

// A label at (left, top), sized for its caption in the font it has now; a label whose
// font is changed afterwards is sized again by setting its caption again.
TLabel* NewLabel(QWidget* parent, const QString& caption, int left, int top);

template <class Button = TButton>
Button* NewButton(QWidget* parent, const QString& caption, int left, int top, int width, int height,
                  const QString& hint = {})
{
    auto* b = new Button(parent);
    b->SetCaption(caption);
    b->SetBounds(left, top, width, height);
    b->SetHint(hint);
    return b;
}

// A flat button that never takes the focus: the class library's speed button.
TButton* NewSpeedButton(QWidget* parent, const QString& caption, const QString& hint, int left, int top, int width,
                        int height);

TEdit* NewEdit(QWidget* parent, const QString& text, int left, int top, int width, int height);
// maxLength 0: no limit.
TLabeledEdit* NewLabeledEdit(QWidget* parent, const QString& caption, int left, int top, int width, int height,
                             int maxLength);
TCheckBox* NewCheckBox(QWidget* parent, const QString& caption, int left, int top, int width, int height);
TRadioButton* NewRadioButton(QWidget* parent, const QString& caption, int left, int top, int width, int height);

// A tool button at the end of its bar.
TToolButton* NewToolButton(TToolBar* bar, const QString& caption, const QString& hint,
                           TToolButtonStyle style = tbsButton);

} // namespace vcl

#include "platform/vcl/VclBuild.h"

namespace vcl {

TLabel* NewLabel(QWidget* parent, const QString& caption, int left, int top)
{
    auto* l = new TLabel(parent);
    l->SetCaption(caption);
    l->SetLeft(left);
    l->SetTop(top);
    return l;
}

TButton* NewSpeedButton(QWidget* parent, const QString& caption, const QString& hint, int left, int top, int width,
                        int height)
{
    auto* b = new TButton(parent);
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->SetCaption(caption);
    b->SetHint(hint);
    b->SetBounds(left, top, width, height);
    return b;
}

TEdit* NewEdit(QWidget* parent, const QString& text, int left, int top, int width, int height)
{
    auto* e = new TEdit(parent);
    e->SetBounds(left, top, width, height);
    e->SetText(text);
    return e;
}

TLabeledEdit* NewLabeledEdit(QWidget* parent, const QString& caption, int left, int top, int width, int height,
                             int maxLength)
{
    auto* e = new TLabeledEdit(parent);
    e->EditLabel()->SetCaption(caption);
    e->SetBounds(left, top, width, height);
    e->SetMaxLength(maxLength);
    return e;
}

TCheckBox* NewCheckBox(QWidget* parent, const QString& caption, int left, int top, int width, int height)
{
    auto* c = new TCheckBox(parent);
    c->SetCaption(caption);
    c->SetBounds(left, top, width, height);
    return c;
}

TRadioButton* NewRadioButton(QWidget* parent, const QString& caption, int left, int top, int width, int height)
{
    auto* r = new TRadioButton(parent);
    r->SetCaption(caption);
    r->SetBounds(left, top, width, height);
    return r;
}

TToolButton* NewToolButton(TToolBar* bar, const QString& caption, const QString& hint, TToolButtonStyle style)
{
    auto* b = new TToolButton(bar);
    b->SetHint(hint);
    b->SetStyle(style);
    b->SetCaption(caption);
    return b;
}

} // namespace vcl

#include "viewer/Unit3.h"

#include "platform/vcl/VclBuild.h"

TDalvinterForm3* DalvinterForm3 = nullptr;

using namespace vcl;

namespace {

// The dialog's labels have a fixed size: a caption 150 pixels, a value 200.
TLabel* label(QWidget* parent, const QString& caption, int left, int top)
{
    TLabel* l = NewLabel(parent, caption, left, top);
    l->SetBounds(left, top, caption.isEmpty() ? 200 : 150, 17);
    return l;
}

} // namespace

TDalvinterForm3::TDalvinterForm3(QWidget* Owner) : TForm(Owner)
{
    SetCaption(QStringLiteral("Parametry pomiaru."));
    SetWidth(535);
    SetHeight(336);

    Label9 = label(this, QStringLiteral("Minimalna wartość:"), 24, 24);
    Label1min = label(this, QString(), 176, 24);
    Label10 = label(this, QStringLiteral("Wystąpiło:"), 24, 48);
    Label3tmin = label(this, QString(), 176, 48);
    Label11 = label(this, QStringLiteral("Maksymalna wartość:"), 24, 88);
    Label4max = label(this, QString(), 176, 88);
    Label12 = label(this, QStringLiteral("Wystąpiło:"), 24, 112);
    Label5tmax = label(this, QString(), 176, 112);
    Label5 = label(this, QString(), 24, 152);
    Label6 = label(this, QString(), 24, 176);
    Label7 = label(this, QString(), 24, 200);
    Label8 = label(this, QString(), 24, 224);
    for (TLabel* free : {Label5, Label6, Label7, Label8})
        free->SetWidth(480);

    BitBtn1 = new TBitBtn(this);
    BitBtn1->SetKind(bkOK);
    BitBtn1->SetBounds(152, 256, 89, 27);
    BitBtn2 = new TBitBtn(this);
    BitBtn2->SetKind(bkCancel);
    BitBtn2->SetCaption(QStringLiteral("Rezygnuj"));
    BitBtn2->SetBounds(288, 256, 89, 27);
    // The form is shown without waiting for an answer, where a button's result alone
    // would leave it open; both buttons close it.
    for (TBitBtn* b : {BitBtn1, BitBtn2})
        b->OnClick = [this](TObject*) {
            if (!Modal())
                Close();
        };
}

TDalvinterForm3::~TDalvinterForm3() = default;

#include "dialogs/Unit3.h"

TForm3* Form3 = nullptr;

using namespace vcl;

TForm3::TForm3(QWidget* Owner) : TForm(Owner)
{
    SetCaption(QStringLiteral("Nowa nazwa pliku pomiarowego"));
    SetClientWidth(587);
    SetClientHeight(160);

    Edit1 = NewEdit(this, QStringLiteral("..."), 16, 40, 555, 21);
    BitBtn1 = new TBitBtn(this);
    BitBtn1->SetKind(bkOK);
    BitBtn1->SetBounds(256, 112, 75, 25);
}

TForm3::~TForm3() = default;

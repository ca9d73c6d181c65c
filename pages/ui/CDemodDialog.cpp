#include "pages/ui/CDemodDialog.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/unit_session.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "pages/page_form.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "pages/ui/page_host.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "platform/debug_out.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/accessible.h"
#include "ui/control_ids.h"
#include "ui/prompts.h"

namespace {

// Rows of the left half (both demodulator columns) and of the right half, in
// the order they are shown.
const char* const kDemodCodes[] = {"1ipf", "1dco", "1los", "1wid", "1gua", "1mod", "1fec",
                                   "1pol", "1snr", "1mer", "1cer", "1dnr", "1pre", "1pos",
                                   "1pkt", "1ina", "1inb", "1inc", "1ind", "1loc", "edef"};
const char* const kDecoderCodes[] = {"tdat", "tbau", "tpar", "ttyp", "twid", "elin", "epwr",
                                     "e525", "eser", "efai", "eloc", "edeb", "zdes", "glnb",
                                     "gosd", "gosp", "gost", "gsma", "gsmi", "gsre", "gsof",
                                     "gfpg", "gser", "gcha", "gch2", "dlas"};

QWidget* MakeControl(QWidget* parent, const ParamEntry& row) {
    QWidget* w = nullptr;
    switch (row.kind) {
    case ParamKind::OptionList: {
        auto* combo = new QComboBox(parent);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        w = combo;
        break;
    }
    case ParamKind::IpAddress: w = new CIpAddressCtrl(parent); break;
    case ParamKind::Text:
    case ParamKind::OptionText: {
        auto* edit = new QLineEdit(parent);
        edit->setReadOnly(!row.writable || row.kind == ParamKind::OptionText);
        edit->setMinimumWidth(110);
        w = edit;
        break;
    }
    default: return nullptr;
    }
    return SetCtrlId(w, row.controlId);
}

QString LabelText(const ParamEntry& row) {
    const char* text = ParamLabel(row.code);
    return QString::fromLatin1(text ? text : row.code);
}

QLabel* MakeLabel(QWidget* parent, const ParamEntry& row) {
    auto* label = new QLabel(LabelText(row), parent);
    if (row.Has(ParamFlags::HideIfAbsent) && row.secondaryId) SetCtrlId(label, row.secondaryId);
    return label;
}

// Gives a row's control its accessible name (an IP control names its fields too).
void NameControl(QWidget* control, const QString& name) {
    if (auto* ip = qobject_cast<CIpAddressCtrl*>(control)) ip->SetNames(name);
    else control->setAccessibleName(name);
}

}  // namespace

using namespace ids::full_page;

CDemodDialog::CDemodDialog(IPageHost& host, CSimpleDemodDialog* simplePage)
    : QWidget(nullptr), QtPage(this), host_(host), simple_(simplePage) {
    setObjectName(QStringLiteral("dialog_104"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Lamp states read on this page go on to the host's lamps.
    connect(&PageEvents(), &QtUnitEvents::lampChanged, this,
            [this](Lamp lamp, LampState state) { host_.WindowEvents().LampChanged(lamp, state); });
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Advanced options"));
    setWindowIcon(host_.ProgramIcon());
    BuildControls();
}

CDemodDialog::~CDemodDialog() {
    if (simple_) simple_->FullPageClosed();
}

void CDemodDialog::BuildControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(10, 10, 10, 10);
    outer->setSpacing(8);

    auto* radios = new QHBoxLayout;
    radios->setSpacing(14);
    const struct {
        int id;
        const char* text;
    } radioDefs[] = {
        {kNarrowband, "Narrowband"}, {kDvbt, "DVBT"}, {kRfInput, kRfInputText}, {kChainingInput, kChainingInputText}};
    for (const auto& r : radioDefs) {
        auto* radio = SetCtrlId(new QRadioButton(QString::fromLatin1(r.text), this), r.id);
        radio->setAutoExclusive(false);   // checked by the program from the unit's values
        radios->addWidget(radio);
        if (r.id == kDvbt) radios->addSpacing(30);
        const int id = r.id;
        connect(radio, &QRadioButton::clicked, this, [this, id] {
            if (id == kNarrowband || id == kDvbt) OnModeRadio(id);
            else OnInputRadio(id);
        });
    }
    radios->addStretch(1);
    outer->addLayout(radios);

    auto* halves = new QHBoxLayout;
    halves->setSpacing(20);
    auto* left = new QGridLayout;
    left->setVerticalSpacing(3);
    left->setHorizontalSpacing(8);
    left->addWidget(new QLabel(QStringLiteral("Narrowband"), this), 0, 1, Qt::AlignHCenter);
    left->addWidget(new QLabel(QStringLiteral("DVBT"), this), 0, 2, Qt::AlignHCenter);
    int r = 1;
    for (const char* code : kDemodCodes) {
        const ParamEntry* nb = FindParam(NarrowbandDemodTable, code);
        const ParamEntry* dv = FindParam(DvbtDemodTable, code);
        if (!nb || !dv) continue;
        left->addWidget(MakeLabel(this, *nb), r, 0);
        // Both columns show at once: each control's name says its mode.
        if (QWidget* w = MakeControl(this, *nb)) {
            NameControl(w, LabelText(*nb) + QStringLiteral(", Narrowband"));
            left->addWidget(w, r, 1);
        }
        if (QWidget* w = MakeControl(this, *dv)) {
            NameControl(w, LabelText(*dv) + QStringLiteral(", DVBT"));
            left->addWidget(w, r, 2);
        }
        ++r;
    }
    left->setRowStretch(r, 1);
    halves->addLayout(left, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    halves->addWidget(line);

    auto* right = new QGridLayout;
    right->setVerticalSpacing(3);
    right->setHorizontalSpacing(8);
    r = 0;
    for (const char* code : kDecoderCodes) {
        const ParamEntry* row = FindParam(DecoderTable, code);
        if (!row) continue;
        QLabel* label = MakeLabel(this, *row);
        right->addWidget(label, r, 0);
        if (QWidget* w = MakeControl(this, *row)) {
            label->setBuddy(w);
            NameControl(w, LabelText(*row));
            right->addWidget(w, r, 1);
        }
        ++r;
    }
    right->setRowStretch(r, 1);
    halves->addLayout(right, 1);
    outer->addLayout(halves, 1);

    auto* buttons = new QHBoxLayout;
    refresh_ = SetCtrlId(new QPushButton(QStringLiteral("Refresh"), this), kRefresh);
    apply_ = SetCtrlId(new QPushButton(QStringLiteral("Apply"), this), kApply);
    for (QPushButton* b : {refresh_, apply_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    outer->addLayout(buttons);
    connect(refresh_, &QPushButton::clicked, this, [this] { OnRefresh(); });
    connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
}

void CDemodDialog::EnableActionButtons(bool enable) {
    refresh_->setEnabled(enable);
    apply_->setEnabled(enable);
}

void CDemodDialog::OnRefresh() { host_.Session().ReadUnitConfig(true); }

void CDemodDialog::OnApply() {
    UnitState& unit = host_.Session().Unit();
    const ParamEntry* demod = LiveDemodTable(unit);
    // The page's text is checked whole before anything is sent.
    const std::string refused = RefusedPageInput(unit, *this, {demod, DecoderTable});
    if (!refused.empty()) {
        ShowError(refused);
        return;
    }
    CUnitSession& session = host_.Session();
    session.View().EnableActionButtons(false);
    {
        std::lock_guard<std::recursive_mutex> gate(session.Link().PollGate());
        CFerritRemoteControl& link = session.Link();
        const int address = session.unitAddress;
        if (WriteChangedFromPage(unit, link, *this, demod, address) > 0) {
            ReadTableToPage(unit, link, *this, demod, address, nullptr);
            if (simple_) ReadTableToPage(unit, link, *simple_, demod, address, nullptr);
        }
        if (WriteChangedFromPage(unit, link, *this, DecoderTable, address) > 0)
            ReadTableToPage(unit, link, *this, DecoderTable, address, nullptr);
    }
    session.View().EnableActionButtons(true);
}

void CDemodDialog::OnModeRadio(int id) {
    DebugOut(id == kNarrowband ? "CDemodDialog::OnRadio1\r\n" : "CDemodDialog::OnRadio2\r\n");
    // The radios show the unit's mode; a click only asks for a switch.
    const int mode = host_.Session().Unit().demodMode.load();
    Check(kNarrowband, mode != 1);
    Check(kDvbt, mode == 1);
    if (!host_.Session().Link().IsConnected() || id == lastModeRadio_) return;
    lastModeRadio_ = id;
    host_.SwitchDemodMode(id == kDvbt ? 1 : 0);
    activateWindow();
}

void CDemodDialog::OnInputRadio(int id) {
    // The pair shows what the unit reports after the re-read.
    Check(id, !IsChecked(id));
    CUnitSession& session = host_.Session();
    session.View().EnableActionButtons(false);
    {
        std::lock_guard<std::recursive_mutex> gate(session.Link().PollGate());
        CFerritRemoteControl& link = session.Link();
        const int address = session.unitAddress;
        ExchangeLocked(link, InputModeRequest(address, id == kChainingInput ? kChainingInputMode : kRfInputMode), nullptr);
        ReadTableToPage(session.Unit(), link, *this, DecoderTable, address, nullptr);
        if (simple_) ReadTableToPage(session.Unit(), link, *simple_, DecoderTable, address, nullptr);
    }
    session.View().EnableActionButtons(true);
}

void CDemodDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange)
        DebugOut(isActiveWindow() ? "CDemodDialog::OnSetFocus\r\n" : "CDemodDialog::OnKillFocus\r\n");
    QWidget::changeEvent(event);
}

void CDemodDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

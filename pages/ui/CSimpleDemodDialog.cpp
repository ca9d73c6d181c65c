#include "pages/ui/CSimpleDemodDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "app/ui/program_icon.h"
#include "app/ui/prompts.h"
#include "app/unit_session.h"
#include "link/remote_control.h"
#include "pages/config_ops.h"
#include "pages/ui/CDemodDialog.h"
#include "params/codec.h"
#include "params/graph_math.h"
#include "params/param_table.h"
#include "params/ui/CStatusGraphs.h"
#include "platform/numbers.h"

namespace {
constexpr int kGraphWidth = 300;
constexpr int kGraphHeight = 200;
const char* const kConfigFilter = "Config files (*.cfg)|*.cfg|All files (*.*)|*.*||";

QLineEdit* MakeEdit(QWidget* parent, int id) {
    auto* edit = SetCtrlId(new QLineEdit(parent), id);
    edit->setMinimumWidth(170);
    return edit;
}
}  // namespace

CSimpleDemodDialog::CSimpleDemodDialog(CTavrin_rx_ctrl_v2Dlg* mainWindow, QWidget* parent)
    : QWidget(parent), QtPage(this), main_(mainWindow) {
    setObjectName(QStringLiteral("dialog_103"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(10, 10, 10, 10);
    outer->setSpacing(10);
    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    outer->addLayout(top, 1);

    auto* form = new QGridLayout;
    form->setVerticalSpacing(8);
    form->setHorizontalSpacing(10);
    auto* radios = new QHBoxLayout;
    auto* narrow = SetCtrlId(new QRadioButton(QStringLiteral("Narrowband"), this), 1005);
    auto* dvbt = SetCtrlId(new QRadioButton(QStringLiteral("DVBT"), this), 1006);
    // Checked by the program only, from what the unit reports.
    for (QRadioButton* r : {narrow, dvbt}) {
        r->setAutoExclusive(false);
        r->setCheckable(true);
    }
    radios->addWidget(narrow);
    radios->addWidget(dvbt);
    radios->addStretch(1);
    form->addLayout(radios, 0, 0, 1, 3);

    form->addWidget(new QLabel(QStringLiteral("Input frequency (MHz)"), this), 1, 0);
    form->addWidget(MakeEdit(this, 1200), 1, 1, 1, 2);
    form->addWidget(MakeEdit(this, 1250), 1, 1, 1, 2);   // same place, DVBT column
    form->addWidget(new QLabel(QStringLiteral("Service name"), this), 2, 0);
    form->addWidget(MakeEdit(this, 1216), 2, 1, 1, 2);
    form->addWidget(MakeEdit(this, 1266), 2, 1, 1, 2);
    form->addWidget(new QLabel(QStringLiteral("Descrambling"), this), 3, 0);
    form->addWidget(SetCtrlId(new QComboBox(this), 1109), 3, 1);
    auto* key = SetCtrlId(new QToolButton(this), 1043);
    key->setIcon(QIcon(IconPixmap(kIconKey, 24)));
    key->setIconSize(QSize(20, 20));
    key->setToolTip(QStringLiteral("Write decryption key"));
    form->addWidget(key, 3, 2);
    form->addWidget(new QLabel(QStringLiteral("Downconverter"), this), 4, 0);
    auto* downconverter = SetCtrlId(new QComboBox(this), 1115);
    downconverter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    form->addWidget(downconverter, 4, 1, 1, 2);
    form->setRowStretch(5, 1);
    form->setColumnStretch(1, 1);
    top->addLayout(form, 1);

    // The graphs sit right of the fields: top with edit 1200, right edge with "Advanced".
    auto* graphColumn = new QVBoxLayout;
    graphs_ = new CStatusGraphs(this, 4);
    graphs_->setFixedSize(kGraphWidth, kGraphHeight);
    graphColumn->addWidget(graphs_);
    graphColumn->addStretch(1);
    top->addLayout(graphColumn);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    apply_ = SetCtrlId(new QPushButton(QStringLiteral("Apply"), this), 1044);
    refresh_ = SetCtrlId(new QPushButton(QStringLiteral("Refresh"), this), 1046);
    save_ = SetCtrlId(new QPushButton(QStringLiteral("Save config to file"), this), 1003);
    load_ = SetCtrlId(new QPushButton(QStringLiteral("Load config from file"), this), 1004);
    advanced_ = SetCtrlId(new QPushButton(QStringLiteral("Advanced"), this), 1002);
    for (QPushButton* b : {apply_, refresh_, save_, load_, advanced_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->insertStretch(4, 1);
    outer->addLayout(buttons);

    connect(narrow, &QRadioButton::clicked, this, [this] { OnModeRadio(1005); });
    connect(dvbt, &QRadioButton::clicked, this, [this] { OnModeRadio(1006); });
    connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
    connect(refresh_, &QPushButton::clicked, this, [this] { OnRefresh(); });
    connect(save_, &QPushButton::clicked, this, [this] { OnSaveConfig(); });
    connect(load_, &QPushButton::clicked, this, [this] { OnLoadConfig(); });
    connect(advanced_, &QPushButton::clicked, this, [this] { OnAdvanced(); });
    connect(key, &QToolButton::clicked, this, [this] { OnKey(); });
}

CSimpleDemodDialog::~CSimpleDemodDialog() { CloseFullPage(); }

int CSimpleDemodDialog::Mode() const { return main_->Session().pageMode; }

CDemodDialog* CSimpleDemodDialog::FullPage() const { return fullPage_.data(); }

void CSimpleDemodDialog::EnableActionButtons(bool enable) {
    for (QPushButton* b : {apply_, refresh_, save_, load_, advanced_}) b->setEnabled(enable);
    if (fullPage_) fullPage_->EnableActionButtons(enable);
}

void CSimpleDemodDialog::FillDownconverters() {
    auto* combo = ControlAs<QComboBox>(kDownconverterControlId);
    if (!combo) return;
    combo->clear();
    for (int i = 0; i < kDownconverterCount; ++i) AddItem(kDownconverterControlId, DownconverterList[i].text);
}

void CSimpleDemodDialog::CloseFullPage() {
    if (fullPage_) delete fullPage_.data();
    fullPage_ = nullptr;
}


void CSimpleDemodDialog::OnModeRadio(int id) {
    // The radios show what the unit reports; a click only asks for a switch.
    Check(1005, Mode() != 1);
    Check(1006, Mode() == 1);
    if (!main_->Link().IsConnected() || id == lastModeRadio_) return;
    lastModeRadio_ = id;
    main_->SwitchDemodMode(id == 1006 ? 1 : 0);
    setFocus();
}

void CSimpleDemodDialog::OnApply() { main_->ApplySimplePage(); }

void CSimpleDemodDialog::OnRefresh() { main_->RefreshSimplePage(); }

void CSimpleDemodDialog::OnSaveConfig() {
    if (!main_->UnitConnected()) {
        ShowError("No connection currently");
        return;
    }
    FileDialogRequest request;
    request.save = true;
    request.title = "Select a file to save to";
    request.filter = kConfigFilter;
    request.defaultExtension = "cfg";
    request.initialName = "*.cfg";
    std::optional<std::string> path = Prompts().AskFile(request);
    if (!path) return;
    SaveConfigToFile(main_->Session(), *path);
}

void CSimpleDemodDialog::OnLoadConfig() {
    if (!main_->UnitConnected()) {
        ShowError("No connection currently");
        return;
    }
    FileDialogRequest request;
    request.title = "Select a file to load from";
    request.filter = kConfigFilter;
    request.defaultExtension = "cfg";
    request.initialName = "*.cfg";
    std::optional<std::string> path = Prompts().AskFile(request);
    if (!path) return;
    LoadConfigFromFile(main_->Session(), *path);
}

void CSimpleDemodDialog::OnAdvanced() {
    if (!main_->UnitConnected()) {
        ShowError("No connection currently");
        return;
    }
    if (fullPage_) {
        fullPage_->activateWindow();
        fullPage_->setFocus();
        return;
    }
    auto* page = new CDemodDialog(main_, this);
    fullPage_ = page;
    SetupPageControls(*page, NarrowbandDemodTable);
    SetupPageControls(*page, DvbtDemodTable);
    SetupPageControls(*page, DecoderTable);
    const int mode = Mode();
    page->Check(1006, mode == 1);
    page->Check(1005, mode != 1);
    for (ParamEntry* row = DvbtDemodTable; row->code; ++row)
        if (row->controlId) page->Enable(row->controlId, mode == 1);
    for (ParamEntry* row = NarrowbandDemodTable; row->code; ++row)
        if (row->controlId) page->Enable(row->controlId, mode != 1);
    ParamEntry* live = mode == 1 ? DvbtDemodTable : NarrowbandDemodTable;
    for (ParamEntry* row = live; row->code; ++row) ShowStoredValue(*row, *page, nullptr);
    for (ParamEntry* row = DecoderTable; row->code; ++row) ShowStoredValue(*row, *page, nullptr);
    page->show();
    page->repaint();
    page->activateWindow();
}

void CSimpleDemodDialog::OnKey() { main_->RunCommand(ID_WRITE_KEY); }

void CSimpleDemodDialog::FeedGraphs(uintptr_t rowPointer) {
    auto* row = reinterpret_cast<ParamEntry*>(rowPointer);
    if (!graphs_ || !row || !row->code) return;
    const ParamValue value = ReadParamValue(*row);
    const float sample = static_cast<float>(LeadingDouble(value.text));
    const GraphChannel channel = GraphChannelFromCode(row->code);
    if (channel.kind == GraphSampleKind::Snr) {
        ParamEntry* table = Mode() == 1 ? DvbtDemodTable : NarrowbandDemodTable;
        graphs_->SetSnr(sample, GetParamIndex(table, "1wid"), GetParamIndex(table, "1mod"),
                        GetParamIndex(table, "1fec"), channel.channel);
    } else if (channel.kind == GraphSampleKind::Level) {
        graphs_->SetLevel(sample, channel.channel);
    }
    graphs_->update();
}

intptr_t CSimpleDemodDialog::OnWindowMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
    case WM_GRAPH_SAMPLE: FeedGraphs(wParam); break;
    case WM_LAMP_STATE: main_->PostMsg(msg, wParam, lParam); break;
    case WM_DEMOD_PAGE_CLOSED: fullPage_ = nullptr; break;
    default: break;
    }
    return 0;
}

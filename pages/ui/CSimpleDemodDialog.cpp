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

#include "app/unit_session.h"
#include "link/remote_control.h"
#include "pages/config_ops.h"
#include "pages/ui/CDemodDialog.h"
#include "pages/ui/page_host.h"
#include "params/codec.h"
#include "params/graph_math.h"
#include "params/param_table.h"
#include "params/ui/CStatusGraphs.h"
#include "platform/numbers.h"
#include "ui/accessible.h"
#include "ui/control_ids.h"
#include "ui/operator_texts.h"
#include "ui/program_icon.h"
#include "ui/prompts.h"

namespace {
constexpr int kGraphWidth = 300;
constexpr int kGraphHeight = 200;

QLineEdit* MakeEdit(QWidget* parent, int id) {
    auto* edit = SetCtrlId(new QLineEdit(parent), id);
    edit->setMinimumWidth(170);
    return edit;
}
}  // namespace

using namespace ids::simple_page;

CSimpleDemodDialog::CSimpleDemodDialog(IPageHost& host, QWidget* parent)
    : QWidget(parent), QtPage(this), host_(host) {
    setObjectName(QStringLiteral("dialog_103"));
    ListenToEvents();
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
    auto* narrow = SetCtrlId(new QRadioButton(QStringLiteral("Narrowband"), this), kNarrowband);
    auto* dvbt = SetCtrlId(new QRadioButton(QStringLiteral("DVBT"), this), kDvbt);
    // Checked by the program only, from what the unit reports.
    for (QRadioButton* r : {narrow, dvbt}) {
        r->setAutoExclusive(false);
        r->setCheckable(true);
    }
    radios->addWidget(narrow);
    radios->addWidget(dvbt);
    radios->addStretch(1);
    form->addLayout(radios, 0, 0, 1, 3);

    // Each row's edits of the two modes share a place, one shown at a time: the
    // label names both (the shown one through its buddy).
    const struct {
        const char* label;
        int narrowbandId;
        int dvbtId;
    } editRows[] = {{"Input frequency (MHz)", kFrequencyNarrowband, kFrequencyDvbt},
                    {"Service name", kServiceNarrowband, kServiceDvbt}};
    int formRow = 1;
    for (const auto& e : editRows) {
        const QString label = QString::fromLatin1(e.label);
        QLineEdit* narrowEdit = MakeEdit(this, e.narrowbandId);
        QLineEdit* dvbtEdit = MakeEdit(this, e.dvbtId);
        dvbtEdit->setAccessibleName(label);
        form->addWidget(MakeBuddyLabel(label, narrowEdit, this), formRow, 0);
        form->addWidget(narrowEdit, formRow, 1, 1, 2);
        form->addWidget(dvbtEdit, formRow, 1, 1, 2);   // same place, DVBT column
        ++formRow;
    }
    auto* descrambling = SetCtrlId(new QComboBox(this), kDescrambling);
    form->addWidget(MakeBuddyLabel(QStringLiteral("Descrambling"), descrambling, this), 3, 0);
    form->addWidget(descrambling, 3, 1);
    auto* key = SetCtrlId(new QToolButton(this), kKey);
    key->setIcon(KeyIcon());
    key->setIconSize(QSize(20, 20));
    key->setToolTip(QString::fromLatin1(kTextWriteKey));
    // The toolbar's key button is "Write decryption key"; this one is the descrambling row's.
    key->setAccessibleName(QStringLiteral("Descrambling key"));
    form->addWidget(key, 3, 2);
    auto* downconverter = SetCtrlId(new QComboBox(this), kDownconverter);
    form->addWidget(MakeBuddyLabel(QStringLiteral("Downconverter"), downconverter, this), 4, 0);
    downconverter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    form->addWidget(downconverter, 4, 1, 1, 2);
    form->setRowStretch(5, 1);
    form->setColumnStretch(1, 1);
    top->addLayout(form, 1);

    // The graphs sit right of the fields: top with the frequency edit, right edge with "Advanced".
    auto* graphColumn = new QVBoxLayout;
    graphs_ = new CStatusGraphs(this, 4);
    graphs_->setFixedSize(kGraphWidth, kGraphHeight);
    graphColumn->addWidget(graphs_);
    graphColumn->addStretch(1);
    top->addLayout(graphColumn);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    apply_ = SetCtrlId(new QPushButton(QStringLiteral("Apply"), this), kApply);
    refresh_ = SetCtrlId(new QPushButton(QStringLiteral("Refresh"), this), kRefresh);
    save_ = SetCtrlId(new QPushButton(QStringLiteral("Save config to file"), this), kSaveConfig);
    load_ = SetCtrlId(new QPushButton(QStringLiteral("Load config from file"), this), kLoadConfig);
    advanced_ = SetCtrlId(new QPushButton(QStringLiteral("Advanced"), this), kAdvanced);
    for (QPushButton* b : {apply_, refresh_, save_, load_, advanced_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->insertStretch(4, 1);
    outer->addLayout(buttons);

    connect(narrow, &QRadioButton::clicked, this, [this] { OnModeRadio(kNarrowband); });
    connect(dvbt, &QRadioButton::clicked, this, [this] { OnModeRadio(kDvbt); });
    connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
    connect(refresh_, &QPushButton::clicked, this, [this] { OnRefresh(); });
    connect(save_, &QPushButton::clicked, this, [this] { OnSaveConfig(); });
    connect(load_, &QPushButton::clicked, this, [this] { OnLoadConfig(); });
    connect(advanced_, &QPushButton::clicked, this, [this] { OnAdvanced(); });
    connect(key, &QToolButton::clicked, this, [this] { OnKey(); });
}

CSimpleDemodDialog::~CSimpleDemodDialog() { CloseFullPage(); }

int CSimpleDemodDialog::Mode() const { return host_.Session().pageMode; }

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
    Check(kNarrowband, Mode() != 1);
    Check(kDvbt, Mode() == 1);
    if (!host_.Session().Link().IsConnected() || id == lastModeRadio_) return;
    lastModeRadio_ = id;
    host_.SwitchDemodMode(id == kDvbt ? 1 : 0);
    setFocus();
}

void CSimpleDemodDialog::OnApply() { host_.Session().ApplySimplePage(); }

void CSimpleDemodDialog::OnRefresh() { host_.Session().RefreshSimplePage(); }

void CSimpleDemodDialog::OnSaveConfig() {
    if (!host_.Session().View().UnitConnected()) {
        ShowError(kTextNoConnection);
        return;
    }
    std::optional<std::string> path = Prompts().AskFile(ConfigFileRequest(true, kTitleSaveConfig));
    if (!path) return;
    if (SaveConfigToFile(host_.Session(), *path)) host_.NoteEvent(EventKind::ConfigFileSaved, *path);
}

void CSimpleDemodDialog::OnLoadConfig() {
    if (!host_.Session().View().UnitConnected()) {
        ShowError(kTextNoConnection);
        return;
    }
    std::optional<std::string> path = Prompts().AskFile(ConfigFileRequest(false, "Select a file to load from"));
    if (!path) return;
    if (LoadConfigFromFile(host_.Session(), *path)) host_.NoteEvent(EventKind::ConfigFileLoaded, *path);
}

void CSimpleDemodDialog::OnAdvanced() {
    if (!host_.Session().View().UnitConnected()) {
        ShowError(kTextNoConnection);
        return;
    }
    if (fullPage_) {
        fullPage_->activateWindow();
        fullPage_->setFocus();
        return;
    }
    auto* page = new CDemodDialog(host_, this);
    fullPage_ = page;
    SetupPageControls(*page, NarrowbandDemodTable);
    SetupPageControls(*page, DvbtDemodTable);
    SetupPageControls(*page, DecoderTable);
    const int mode = Mode();
    page->Check(ids::full_page::kDvbt, mode == 1);
    page->Check(ids::full_page::kNarrowband, mode != 1);
    for (const ParamEntry* row = DvbtDemodTable; row->code; ++row)
        if (row->controlId) page->Enable(row->controlId, mode == 1);
    for (const ParamEntry* row = NarrowbandDemodTable; row->code; ++row)
        if (row->controlId) page->Enable(row->controlId, mode != 1);
    const UnitState& unit = host_.Session().Unit();
    for (const ParamEntry* row = DemodTableForMode(mode); row->code; ++row) ShowStoredValue(unit, *row, *page, nullptr);
    for (const ParamEntry* row = DecoderTable; row->code; ++row) ShowStoredValue(unit, *row, *page, nullptr);
    page->show();
    page->repaint();
    page->activateWindow();
}

void CSimpleDemodDialog::OnKey() { host_.OpenKeyDialog(); }

void CSimpleDemodDialog::FeedGraphs(const ParamEntry* row) {
    if (!graphs_ || !row || !row->code) return;
    const UnitState& unit = host_.Session().Unit();
    const ParamValue value = ReadParamValue(unit, *row);
    const float sample = static_cast<float>(LeadingDouble(value.text));
    const GraphChannel channel = GraphChannelFromCode(row->code);
    if (channel.kind == GraphSampleKind::Snr) {
        const ParamEntry* table = DemodTableForMode(Mode());
        graphs_->SetSnr(sample, GetParamIndex(unit, table, "1wid"), GetParamIndex(unit, table, "1mod"),
                        GetParamIndex(unit, table, "1fec"), channel.channel);
    } else if (channel.kind == GraphSampleKind::Level) {
        graphs_->SetLevel(sample, channel.channel);
    }
    graphs_->update();
}

void CSimpleDemodDialog::ListenToEvents() {
    QtUnitEvents& events = PageEvents();
    connect(&events, &QtUnitEvents::graphSample, this, [this](const ParamEntry& row) { FeedGraphs(&row); });
    connect(&events, &QtUnitEvents::lampChanged, this,
            [this](Lamp lamp, LampState state) { host_.WindowEvents().LampChanged(lamp, state); });
}

void CSimpleDemodDialog::FullPageClosed() { fullPage_ = nullptr; }

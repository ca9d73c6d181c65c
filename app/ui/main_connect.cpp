// The main window's connections: COM port scan, the start-up connection, the
// Connect button, the end of an Ethernet attempt, and the link's comings and
// goings reported by the link and the poll thread.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/settings.h"
#include "app/signal_history.h"
#include "ui/CIpAddressCtrl.h"
#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "app/ui/lamp_texts.h"
#include "ui/prompts.h"
#include "app/unit_session.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "link/ui/CConnectDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/codec.h"
#include "params/poll_thread.h"
#include "params/ui/CStatusGraphs.h"
#include "platform/debug_out.h"
#include "platform/serial_port.h"
#include "ui/control_ids.h"
#include "ui/operator_texts.h"

void CTavrin_rx_ctrl_v2Dlg::ScanComPorts() {
    comPorts_ = ComPortList{};
    portList_->clear();
    for (int index = 0; index < 256; ++index) {
        if (!ComPortPresent(index)) continue;
        const int row = comPorts_.rows++;
        comPorts_.present[static_cast<size_t>(index)] = 1;
        comPorts_.rowToPort[static_cast<size_t>(row)] = static_cast<uint8_t>(index);
        comPorts_.portToRow[static_cast<size_t>(index)] = static_cast<uint8_t>(row);
        portList_->addItem(QStringLiteral("COM%1").arg(index + 1));
        portList_->setItemData(row, QString::fromStdString(ComPortDevicePath(index)), Qt::ToolTipRole);
    }
    portList_->setCurrentIndex(-1);
}

bool CTavrin_rx_ctrl_v2Dlg::ProbeAndTakeAddress() {
    int address = 0;
    if (session_->ProbeAddress(address) != kResultOk) return false;
    SetUnitAddress(address);
    return true;
}

void CTavrin_rx_ctrl_v2Dlg::StartupConnection() {
    if (AppSettings.ConnectionType == 1) StartupEthernet();
    else StartupSerial();
}

void CTavrin_rx_ctrl_v2Dlg::StartupSerial() {
    // The Connecting window stays up during the scan; its Cancel ends the scan.
    bool cancelled = false;
    QMetaObject::Connection cancel =
        connect(startupConnect_, &QDialog::rejected, this, [&cancelled] { cancelled = true; });
    startupConnect_->setModal(false);
    startupConnect_->show();
    startupConnect_->repaint();
    rs232_->setChecked(true);

    auto present = [this](int index) {
        return index >= 0 && index < 256 && comPorts_.present[static_cast<size_t>(index)] != 0;
    };
    const int last = AppSettings.LastComPort;
    if (last != -1 && present(last) && link_->OpenSerialPort(last) == 0) {
        if (!ProbeAndTakeAddress()) link_->CloseSerialPort();
    }
    if (!link_->IsConnected()) {
        AppSettings.LastComPort = -1;
        for (int index = 0; index < 256 && !cancelled; ++index) {
            if (!present(index)) continue;
            QApplication::processEvents();
            if (cancelled) break;
            if (link_->OpenSerialPort(index) != 0) continue;
            if (ProbeAndTakeAddress()) {
                AppSettings.LastComPort = index;
                break;
            }
            link_->CloseSerialPort();
        }
    }
    disconnect(cancel);
    startupConnect_->hide();
    if (AppSettings.LastComPort != -1)
        portList_->setCurrentIndex(comPorts_.portToRow[static_cast<size_t>(AppSettings.LastComPort)]);

    if (link_->IsConnected()) {
        AppSettings.ConnectionType = 0;
        unitConnected_ = true;
        SetConnectedLabel(true);
        NoteConnected();
        ReadUnitConfig(true);
        return;
    }
    AppSettings.PollingEnabled = 0;
    unitConnected_ = false;
    // A scan the operator cancelled needs no message.
    if (!cancelled) ShowAlert(kTextUnableToConnect);
    SetConnectedLabel(false);
    SetReceptionLamps(LampState::Grey);
}

void CTavrin_rx_ctrl_v2Dlg::StartupEthernet() {
    ethernet_->setChecked(true);
    if (unit_->ipAddress != kDefaultIpAddress) ipAddress_->SetText(unit_->ipAddress);
    link_->SelectEthernet(unit_->ipAddress);
    RunEthernetAttempt(*startupConnect_);
}

void CTavrin_rx_ctrl_v2Dlg::OnConnect() {
    if (rs232_->isChecked()) ConnectSerial();
    else ConnectEthernet();
}

void CTavrin_rx_ctrl_v2Dlg::ConnectSerial() {
    const int row = portList_->currentIndex();
    if (row < 0) {
        ShowError("No serial port selected");
        return;
    }
    if (link_->IsConnected()) link_->CloseSerialPort();
    const int index = comPorts_.rowToPort[static_cast<size_t>(row)];
    if (link_->OpenSerialPort(index) != 0) {
        ShowError(kTextUnableToConnect);
        return;
    }
    if (!ProbeAndTakeAddress()) {
        link_->CloseSerialPort();
        return;
    }
    AppSettings.LastComPort = index;
    AppSettings.ConnectionType = 0;
    unitConnected_ = true;
    SetConnectedLabel(true);
    SetLamp(ids::main_window::kConnectionLamp, LampState::Green);
    NoteConnected();
    ReadUnitConfig(true);
}

void CTavrin_rx_ctrl_v2Dlg::ConnectEthernet() {
    if (ipAddress_->FilledFieldCount() < 4) {
        ShowError(kInvalidIpMessage);
        return;
    }
    const std::string text = ipAddress_->Text();
    if (AppSettings.ConnectionType == 1) {
        if (text == unit_->ipAddress && link_->IsConnected()) {
            ShowAlert("Already connected on this IP address");
            return;
        }
        if (link_->IsConnected()) link_->CloseEthernet();
    }
    if (AppSettings.ConnectionType == 0) {
        if (link_->IsConnected()) link_->CloseSerialPort();
        AppSettings.ConnectionType = 1;
    }
    unit_->ipAddress = text;
    link_->SelectEthernet(text);
    CConnectDialog dialog(this);
    RunEthernetAttempt(dialog);
}

void CTavrin_rx_ctrl_v2Dlg::RunEthernetAttempt(CConnectDialog& dialog) {
    pendingConnect_ = &dialog;
    const ConnectHandle handle = link_->StartConnectThread(&WindowEvents(), &dialog.Target());
    if (handle == 0) {
        // The link already has a socket (an exchange made it meanwhile): no
        // thread will report, so the attempt ends here, as if one had.
        OnConnectDone();
        pendingConnect_ = nullptr;
        if (!link_->IsConnected()) ShowAlert("Unable to connect");
        return;
    }
    const int result = dialog.exec();
    if (result == QDialog::Rejected) {
        DebugOut("Connection attempt cancelled by user\r\n");
        if (AppSettings.ConnectionType == 1) link_->CancelConnectThread(handle);
    } else if (!link_->IsConnected()) {
        ShowAlert(kTextUnableToConnect);
    }
    pendingConnect_ = nullptr;
}

void CTavrin_rx_ctrl_v2Dlg::OnConnectDone() {
    {
        LinkGuard guard(link_->LinkMutex());
        link_->ProbeUnit();
    }
    if (link_->IsConnected()) {
        unitConnected_ = true;
        if (pendingConnect_) pendingConnect_->CancelButton()->setEnabled(false);
        ProbeAndTakeAddress();
        if (pendingConnect_) pendingConnect_->SetText("Reading values...");
        AppSettings.LastIpAddress = unit_->ipAddress;
        SetConnectedLabel(true);
        SetLamp(ids::main_window::kConnectionLamp, LampState::Green);
        NoteConnected();
        ReadUnitConfig(true);
    } else {
        SetConnectedLabel(false);
        SetLamp(ids::main_window::kConnectionLamp, LampState::Red);
    }
    if (pendingConnect_) pendingConnect_->accept();
}

void CTavrin_rx_ctrl_v2Dlg::OnLinkLost() {
    if (busy_) return;
    busy_ = true;
    if (unitConnected_) {
        unitConnected_ = false;
        SetConnectedLabel(false);
        SetLamp(ids::main_window::kConnectionLamp, LampState::Red);
        SetReceptionLamps(LampState::Grey);
        session_->ForgetUnitValues();
    }
    busy_ = false;
}

void CTavrin_rx_ctrl_v2Dlg::OnPollCycleDone(const PollCycleReport& report) {
    using namespace ids::main_window;
    ShowAlarmState();
    // The lamps the lamp rule made grey: not read, or no answer at all.
    for (const Lamp lamp : kAllLamps)
        if (report.Greyed(lamp)) SetLamp(LampControlId(lamp), LampState::Grey);
    CStatusGraphs* graphs = simplePage_ ? simplePage_->Graphs() : nullptr;
    if (!report.answered) {
        if (graphs) {
            graphs->ClearSnr();
            graphs->ClearLevels();
        }
        // The unit is gone for the operator until an exchange succeeds again
        // (then Unit answering reads its configuration anew).
        if (busy_ || !unitConnected_) return;
        unitConnected_ = false;
        session_->ForgetUnitValues();
        SetConnectedLabel(false, kTextUnitDoesNotAnswer);
        SetLamp(kConnectionLamp, LampState::Red);
        return;
    }
    // What this cycle did not read (polling off, an item not selected) is stale.
    if (graphs && !report.Read(PollItemSnr)) graphs->ClearSnr();
    if (graphs && !report.Read(PollItemLevels)) graphs->ClearLevels();
}

void CTavrin_rx_ctrl_v2Dlg::OnUnitAlive() {
    if (busy_) return;
    busy_ = true;
    if (!unitConnected_) {
        unitConnected_ = true;
        SetConnectedLabel(true);
        SetLamp(ids::main_window::kConnectionLamp, LampState::Green);
        ProbeAndTakeAddress();
        // The unit came back by itself (a silent unit that answers again, a
        // serial device plugged back, perhaps at another address): the same
        // unit keeps what the operator typed meanwhile and has not sent on
        // the pages; another unit is said and read afresh.
        session_->UnitBack();
    }
    busy_ = false;
}

void CTavrin_rx_ctrl_v2Dlg::NoteConnected() {
    const bool serial = link_->Mode() == LinkModeSerial;
    history_->NoteConnected(serial ? "COM" + std::to_string(AppSettings.LastComPort + 1) : unit_->ipAddress);
}

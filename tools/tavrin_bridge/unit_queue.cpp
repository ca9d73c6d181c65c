#include "tools/tavrin_bridge/unit_queue.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "params/poll_run.h"
#include "platform/clock.h"
#include "platform/numbers.h"
#include "tools/tavrin_bridge/client_protocol.h"
#include "tools/tavrin_bridge/journal.h"
#include "tools/tavrin_bridge/metrics.h"

UnitQueue::UnitQueue(CFerritRemoteControl& link, BridgeMetrics& metrics, UnitQueueSetup setup)
    : link_(link), metrics_(metrics), setup_(std::move(setup)), address_(setup_.address) {}

UnitQueue::~UnitQueue() { Stop(); }

void UnitQueue::Start() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = false;
    }
    worker_ = std::thread([this] { Run(); });
}

void UnitQueue::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

bool UnitQueue::Submit(std::string request, std::shared_ptr<std::atomic<bool>> cancelled, Done done) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stop_ || jobs_.size() >= kMaxQueuedExchanges) {
            refused_ = true;
            return false;
        }
        jobs_.push_back(Job{false, std::move(request), std::move(cancelled), std::move(done)});
    }
    wake_.notify_one();
    return true;
}

void UnitQueue::DropCancelled() {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(jobs_, [](const Job& j) { return !j.poll && j.cancelled && *j.cancelled; });
}

void UnitQueue::Run() {
    using Clock = std::chrono::steady_clock;
    const uint32_t intervalMs = setup_.pollIntervalMs;
    Clock::time_point nextPoll = Clock::now();
    const bool pinging = setup_.pingEvery.count() > 0 && setup_.ping;
    Clock::time_point nextPing = Clock::now();
    std::unique_lock<std::mutex> lock(lock_);
    while (!stop_) {
        if (pinging && Clock::now() >= nextPing) {
            setup_.ping();
            nextPing = Clock::now() + setup_.pingEvery;
        }
        // The poll cycle joins the queue behind whatever is already in it.
        if (intervalMs != 0 && !pollQueued_ && Clock::now() >= nextPoll) {
            jobs_.push_back(Job{true, {}, nullptr, nullptr});
            pollQueued_ = true;
        }
        if (jobs_.empty()) {
            lock.unlock();
            LookForLostDevice();
            lock.lock();
            if (!jobs_.empty() || stop_) continue;
            // A lost device is looked for while nothing else happens too.
            Clock::time_point until = nextLook_ > Clock::now() ? nextLook_ : Clock::time_point::max();
            if (intervalMs != 0) until = std::min(until, nextPoll);
            if (pinging) until = std::min(until, nextPing);
            if (until == Clock::time_point::max()) {
                wake_.wait(lock);
            } else {
                wake_.wait_until(lock, until);
            }
            continue;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        const bool room = std::exchange(refused_, false);
        lock.unlock();
        if (room && onRoom_) onRoom_();
        if (job.poll) {
            PollCycle();
            nextPoll = Clock::now() + std::chrono::milliseconds(intervalMs);
        } else if (!(job.cancelled && *job.cancelled)) {
            LookForLostDevice();
            std::string frame;
            const UnitReply reply = Exchange(job.request, &frame);
            job.done(reply.Answered() ? std::optional<std::string>(std::move(frame)) : std::nullopt);
        }
        lock.lock();
        if (job.poll) pollQueued_ = false;
    }
}

void UnitQueue::LookForLostDevice() {
    if (!setup_.reopen) return;
    {
        LinkGuard guard(link_.LinkMutex());
        if (link_.IsConnected()) {
            nextLook_ = {};
            return;
        }
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < nextLook_) return;
    nextLook_ = now + std::chrono::milliseconds(kLostDeviceLookMs);
    if (!setup_.reopen()) return;
    // Perhaps another unit: its address and identity are learnt again.
    Say(Priority::Notice, "unit's port %s open again", setup_.connection.c_str());
    nextLook_ = {};
    address_ = setup_.address;
    infoKnown_ = false;
}

void UnitQueue::NoteAnswer(ResultCode result) {
    const bool answered = result == kResultOk;
    if (answering_ == answered) return;
    if (answered) {
        if (answering_) Say(Priority::Notice, "unit at %s answers again", setup_.connection.c_str());
    } else {
        Say(Priority::Warning, "unit at %s not answering: %s", setup_.connection.c_str(), ResultWords(result).c_str());
    }
    answering_ = answered;
    if (setup_.status)
        setup_.status(answered ? "unit answering" : "unit not answering: " + ResultWords(result));
}

UnitReply UnitQueue::Exchange(const std::string& request, std::string* frame) {
    const auto start = std::chrono::steady_clock::now();
    UnitReply reply;
    {
        // Held across the exchange so that the frame kept is this reply's.
        LinkGuard guard(link_.LinkMutex());
        reply = link_.Exchange(request, IsKeyRequest(request) ? 2 : 1);
        if (reply.Answered() && frame != nullptr) {
            // The accepted reply, from its STX to its ETX.
            const size_t stx = link_.LastReply().find(char(kStx));
            *frame = stx == std::string::npos ? std::string() : link_.LastReply().substr(stx);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    metrics_.RecordExchange(reply.result, seconds);
    NoteAnswer(reply.result);
    if (const uint64_t unrequested = link_.UnrequestedReplies(); unrequested != unrequestedSeen_) {
        // Replies carry no request number: the copy may have been taken as
        // the answer to a request of another client before it showed.
        Say(Priority::Warning,
            "the unit sent a reply that was not asked for; an earlier client may have received another "
            "request's reply");
        unrequestedSeen_ = unrequested;
        metrics_.SetUnrequestedReplies(unrequested);
    }
    if (!reply.Answered()) infoKnown_ = false;   // the unit may have restarted or been replaced
    return reply;
}

std::optional<std::string> UnitQueue::Read(int address, const char* code) {
    UnitReply reply = Exchange(BuildReadRequest(address, code));
    if (!reply.Accepted()) return std::nullopt;
    return std::move(reply.data);
}

bool UnitQueue::ReadUnitInfo(int address) {
    UnitInfo info;
    const std::optional<std::string> model = Read(address, "gbty");
    if (!model) return false;
    const std::optional<std::string> firmware = Read(address, "gsof");
    if (!firmware) return false;
    const std::optional<std::string> serial = Read(address, "gser");
    if (!serial) return false;
    info.model = *model;
    info.firmware = *firmware;
    info.serial = *serial;
    info.address = std::to_string(address);
    metrics_.SetUnitInfo(info);
    return true;
}

void UnitQueue::PollCycle() {
    const auto start = std::chrono::steady_clock::now();
    LookForLostDevice();
    if (!infoKnown_) {
        if (!setup_.address) {
            // The any-unit probe, as the desktop sends it after opening a port.
            const UnitReply probe = Exchange(AnyUnitProbeRequest());
            int address = 0;
            if (probe.Accepted() && ParseUnitAddress(probe.data, address)) address_ = address;
        }
        if (address_) infoKnown_ = ReadUnitInfo(*address_);
    }
    BridgeMetrics::PollValues values{};
    PollSample sample;
    sample.lampsBefore = lamps_;
    sample.itemsRead = 0;
    if (address_) {
        PollRun run;
        run.plan = kBridgePollPlan;
        run.unitAddress = *address_;
        // A unit that does not answer ends the cycle at once, so that the
        // clients queued behind it wait for one failed exchange, not for eleven.
        run.onFailure = PollFailure::EndsCycle;
        run.exchange = [this](const PollRead&, const std::string& request) { return Exchange(request); };
        run.link = &link_;
        run.onRead = [&values](size_t row, const UnitReply& reply) {
            if (!reply.HasValue()) return;
            // As the desktop reads a value; a scaled one with its point moved.
            const int power = BridgePollMetric(row).powerOfTen;
            values[row] = power == 0 ? LeadingDouble(reply.data) : LeadingDoubleScaled(reply.data, power);
        };
        RunPollPlan(run, sample);
        if (sample.shifted) values = {};   // any of them may be its neighbour's
    }
    lamps_ = LampsAfter(lamps_, sample);
    const auto end = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(end - start).count();
    metrics_.SetPollCycle(values, lamps_.shown, seconds);
    sample.timeMs = WallClockMs();
    const int64_t steadyMs = std::chrono::duration_cast<std::chrono::milliseconds>(end.time_since_epoch()).count();
    for (const AlarmEvent& e : metrics_.EvaluateAlarms(sample, steadyMs)) {
        const std::string value = e.value ? ", value " + FormatFixed(*e.value, 2) : std::string();
        Say(e.transition == AlarmTransition::Raised ? Priority::Warning : Priority::Notice, "alarm %s: %s (%s)%s",
            e.transition == AlarmTransition::Raised ? "raised" : e.transition == AlarmTransition::Cleared ? "cleared"
                                                                                                         : "withdrawn",
            e.alarm.id.Name().c_str(), AlarmSeverityName(e.alarm.severity), value.c_str());
        if (setup_.alarm) setup_.alarm(e);
    }
}

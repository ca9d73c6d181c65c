#include "tools/tavrin_bridge/unit_queue.h"

#include <chrono>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "platform/numbers.h"
#include "tools/tavrin_bridge/client_protocol.h"
#include "tools/tavrin_bridge/metrics.h"

UnitQueue::UnitQueue(CFerritRemoteControl& link, BridgeMetrics& metrics, std::optional<int> address,
                     uint32_t pollIntervalMs)
    : link_(link), metrics_(metrics), givenAddress_(address), intervalMs_(pollIntervalMs), address_(address) {}

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
        if (stop_ || jobs_.size() >= kMaxQueuedExchanges) return false;
        jobs_.push_back(Job{false, std::move(request), std::move(cancelled), std::move(done)});
    }
    wake_.notify_one();
    return true;
}

void UnitQueue::Run() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextPoll = Clock::now();
    std::unique_lock<std::mutex> lock(lock_);
    while (!stop_) {
        // The poll cycle joins the queue behind whatever is already in it.
        if (intervalMs_ != 0 && !pollQueued_ && Clock::now() >= nextPoll) {
            jobs_.push_back(Job{true, {}, nullptr, nullptr});
            pollQueued_ = true;
        }
        if (jobs_.empty()) {
            if (intervalMs_ != 0) {
                wake_.wait_until(lock, nextPoll);
            } else {
                wake_.wait(lock);
            }
            continue;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        if (job.poll) {
            PollCycle();
            nextPoll = Clock::now() + std::chrono::milliseconds(intervalMs_);
        } else if (!(job.cancelled && *job.cancelled)) {
            std::string reply;
            const ResultCode rc = Exchange(job.request, &reply, nullptr, nullptr);
            job.done(rc == kResultOk ? std::optional<std::string>(reply) : std::nullopt);
        }
        lock.lock();
        if (job.poll) pollQueued_ = false;
    }
}

ResultCode UnitQueue::Exchange(const std::string& request, std::string* reply, std::string* data, int* status) {
    char buffer[kReceiveBufferSize + 1] = {};
    int replyStatus = 0;
    int length = 0;
    std::string frame;
    const auto start = std::chrono::steady_clock::now();
    ResultCode rc;
    {
        LinkGuard guard(LinkLock);
        rc = link_.Transact(request.c_str(), &replyStatus, buffer, &length, IsKeyRequest(request) ? 2 : 1);
        if (rc == kResultOk) {
            // The accepted reply, from its STX to its ETX.
            const size_t stx = link_.lastReply.find(char(kStx));
            frame = stx == std::string::npos ? std::string() : link_.lastReply.substr(stx);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    metrics_.RecordExchange(rc, seconds);
    if (rc != kResultOk) {
        infoKnown_ = false;   // the unit may have restarted or been replaced
        return rc;
    }
    if (reply) *reply = std::move(frame);
    if (data) data->assign(buffer, size_t(length < 0 ? 0 : length));
    if (status) *status = replyStatus;
    return rc;
}

std::optional<std::string> UnitQueue::Read(int address, const char* code) {
    std::string data;
    int status = 0;
    if (Exchange(BuildReadRequest(address, code), nullptr, &data, &status) != kResultOk || status != '1')
        return std::nullopt;
    return data;
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
    if (!infoKnown_) {
        if (!givenAddress_) {
            // The any-unit probe, as the desktop sends it after opening a port.
            std::string data;
            int status = 0;
            int address = 0;
            if (Exchange(AnyUnitProbeRequest(), nullptr, &data, &status) == kResultOk && status == '1' &&
                ParseUnitAddress(data, address))
                address_ = address;
        }
        if (address_) infoKnown_ = ReadUnitInfo(*address_);
    }
    // A unit that does not answer ends the cycle at once, so that the clients
    // queued behind it wait for one failed exchange, not for eleven.
    bool answering = address_.has_value();
    for (size_t i = 0; i < kPollReadCount; ++i) {
        std::optional<double> value;
        if (answering) {
            std::string data;
            int status = 0;
            const char* code = kSampleColumns[kPollReads[i].column].code;
            if (Exchange(BuildReadRequest(*address_, code), nullptr, &data, &status) != kResultOk) {
                answering = false;
            } else if (status == '1') {
                value = LeadingDouble(data);
            }
        }
        metrics_.SetPollValue(i, value);
    }
}

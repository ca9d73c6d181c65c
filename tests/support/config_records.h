// Two configuration or set files compared by what they stand for: each
// record by its mode (and, in a set, its slot), its items in file order.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "pages/config_file.h"

namespace testsupport {

// A file's records as the unit's state they stand for: a set by (mode,
// slot), a configuration file by mode alone (its slot is the one that was
// loaded), each with its items and their stored values in file order. The
// order of the records follows the mode a walk started in and says nothing
// about the unit.
using RecordKey = std::pair<int64_t, uint32_t>;
using RecordItems = std::vector<std::pair<std::string, std::string>>;
inline std::map<RecordKey, RecordItems> Records(const std::string& file, bool set) {
    std::map<RecordKey, RecordItems> out;
    for (const DescribedRecord& record : DescribeConfigFile(file).records) {
        RecordItems items;
        for (const DescribedItem& item : record.items) items.emplace_back(item.code, item.raw);
        if (!record.complete) items.emplace_back("<incomplete>", "");
        const RecordKey key{record.mode, set ? record.slot : 0u};
        if (out.count(key)) items.emplace_back("<repeated record>", "");
        out[key] = std::move(items);
    }
    return out;
}

// "same" when two files hold the same records, otherwise the first place
// where they part, for a message that stays readable.
inline std::string RecordDifference(const std::string& a, const std::string& b, bool set) {
    const DescribedFile da = DescribeConfigFile(a), db = DescribeConfigFile(b);
    if (!da.checksumOk || !db.checksumOk) return "a checksum does not match";
    if (!da.error.empty() || !db.error.empty()) return "an invalid file: " + da.error + db.error;
    const auto ra = Records(a, set), rb = Records(b, set);
    if (da.recordCount != db.recordCount || ra.size() != rb.size())
        return std::to_string(ra.size()) + " and " + std::to_string(rb.size()) + " records";
    for (auto ia = ra.begin(), ib = rb.begin(); ia != ra.end(); ++ia, ++ib) {
        const std::string where = "record of mode " + std::to_string(ia->first.first) + ", slot " +
                                  std::to_string(ia->first.second);
        if (ia->first != ib->first) return where + " is missing from the second file";
        const RecordItems &x = ia->second, &y = ib->second;
        for (size_t k = 0; k < x.size() || k < y.size(); ++k) {
            const std::string left = k < x.size() ? x[k].first + "=" + x[k].second : "<none>";
            const std::string right = k < y.size() ? y[k].first + "=" + y[k].second : "<none>";
            if (left != right) return where + ", item " + std::to_string(k) + ": " + left + " / " + right;
        }
    }
    return "same";
}

}  // namespace testsupport

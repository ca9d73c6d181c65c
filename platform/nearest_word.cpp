#include "platform/nearest_word.h"

#include <algorithm>

size_t EditDistance(const std::string& a, const std::string& b) {
    // d[i][j]: the distance of a's first i and b's first j characters.
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

std::string NearestWord(const std::string& word, const std::vector<std::string>& known) {
    // Leading dashes say it is an option; they do not make it nearer to one.
    const size_t length = word.size() - std::min(word.find_first_not_of('-'), word.size());
    if (length < 3) return {};   // too short to tell what was meant
    const size_t limit = length <= 4 ? 1 : 2;
    std::string best;
    size_t bestDistance = limit + 1;
    for (const std::string& candidate : known) {
        const size_t distance = EditDistance(word, candidate);
        if (distance < bestDistance && distance > 0) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

std::string DidYouMean(const std::string& word, const std::vector<std::string>& known) {
    const std::string nearest = NearestWord(word, known);
    return nearest.empty() ? std::string() : ": did you mean '" + nearest + "'?";
}

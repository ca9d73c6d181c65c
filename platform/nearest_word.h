// The suggestion after an unknown command or option ("did you mean
// 'status'?"), shared by tavrinctl, tavrin_bridge and tavrin_unit_sim.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The edit distance of `a` and `b`: insertions, deletions, substitutions and
// transpositions of two neighbouring characters, one each.
size_t EditDistance(const std::string& a, const std::string& b);

// The word of `known` nearest to `word`, when it is near enough to be what
// was meant (at most one edit for words of three or four characters, two for
// longer ones, none for shorter ones);
// "" when none is.
std::string NearestWord(const std::string& word, const std::vector<std::string>& known);

// ": did you mean 'WORD'?" for the nearest word, or "".
std::string DidYouMean(const std::string& word, const std::vector<std::string>& known);

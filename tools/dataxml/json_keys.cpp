#include "json_keys.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

std::vector<std::string> json_keys(const std::vector<std::string> &names, std::vector<std::string> &notes) {
  // Where each name is first seen; the names themselves are the usual keys.
  std::unordered_map<std::string_view, size_t> first;
  first.reserve(names.size());
  std::vector<std::string> keys;
  keys.reserve(names.size());
  for (size_t c = 0; c < names.size(); ++c) {
    first.emplace(names[c], c);
    keys.push_back(names[c]);
  }
  if (first.size() == names.size())
    return keys;
  // Per repeated name, the suffix to try next, so that many repetitions stay linear.
  std::unordered_map<std::string_view, size_t> next_suffix;
  std::unordered_set<std::string> made;
  for (size_t c = 0; c < names.size(); ++c) {
    if (first.at(names[c]) == c)
      continue;
    size_t &suffix = next_suffix.try_emplace(names[c], 2).first->second;
    std::string key;
    do
      key = names[c] + "_" + std::to_string(suffix++);
    while (first.count(key) != 0 || !made.insert(key).second);
    notes.push_back("a coluna " + std::to_string(c + 1) + " repete o nome " + names[c] +
                    "; no JSON ela se chama " + key);
    keys[c] = std::move(key);
  }
  return keys;
}

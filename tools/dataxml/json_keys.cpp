#include "json_keys.h"

#include <unordered_map>
#include <unordered_set>

std::vector<std::string> json_keys(const std::vector<std::string> &names, std::vector<std::string> &notes) {
  std::unordered_set<std::string> taken(names.begin(), names.end());
  // Per repeated name, the suffix to try next, so that many repetitions stay linear.
  std::unordered_map<std::string, size_t> next_suffix;
  std::unordered_set<std::string> seen;
  std::vector<std::string> keys;
  keys.reserve(names.size());
  for (size_t c = 0; c < names.size(); ++c) {
    const std::string &name = names[c];
    if (seen.insert(name).second) {
      keys.push_back(name);
      continue;
    }
    size_t &suffix = next_suffix.try_emplace(name, 2).first->second;
    std::string key;
    do
      key = name + "_" + std::to_string(suffix++);
    while (!taken.insert(key).second);
    notes.push_back("a coluna " + std::to_string(c + 1) + " repete o nome " + name +
                    "; no JSON ela se chama " + key);
    keys.push_back(std::move(key));
  }
  return keys;
}

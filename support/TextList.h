#pragma once

#include <string>
#include <string_view>
#include <vector>

// An ordered list of texts, kept either in insertion order or sorted without regard to case (by the
// user's locale on Windows). A sorted list drops a text that compares equal to one it holds.
class TextList {
public:
  enum class Order { Insertion, Sorted };

  explicit TextList(Order order = Order::Insertion) : order_(order) {}

  void Add(std::string_view item);
  size_t Count() const { return items_.size(); }
  const std::string &operator[](size_t i) const { return items_[i]; }
  const std::vector<std::string> &items() const { return items_; }
  Order order() const { return order_; }

private:
  Order order_;
  std::vector<std::string> items_;
};

// Compares two UTF-8 texts without regard to case: CompareStringW with the user's locale on Windows,
// simple case folding elsewhere. Negative, zero or positive like strcmp.
int compare_ignoring_case(std::string_view a, std::string_view b);

// The fault plan: which calls of the device's operations fail, and with what
// error. One plan for every operation, consulted the same way by each: a
// rule fails an operation's calls numbered `from` on, for `count` calls (0:
// every call from then on), counting only the calls whose path or key
// argument matches the rule's pattern when it has one.
#pragma once

#include "device/operations.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct FaultRule {
    Op op = Op::GetModuleFileNameW;
    std::u16string match;   // "*" and "?" wildcards, case ignored; empty: every call
    std::uint32_t from = 1; // the first failing call, counting from 1
    std::uint32_t count = 0;
    platform::LONG error = 0; // 0: the operation's usual failure
};

class FaultPlan {
  public:
    void Add(const FaultRule& rule);
    const std::vector<FaultRule>& Rules() const {
        return rules_;
    }

    // Counts a call of op with its path or key argument (empty for an
    // operation that has none); true, with the error to fail with, when the
    // plan makes it fail.
    bool Fails(Op op, const std::u16string& argument, platform::LONG& error);

    // How often op was called, and how often the plan made it fail.
    int CallsOf(Op op) const {
        return calls_[static_cast<std::size_t>(op)];
    }
    int FailuresOf(Op op) const {
        return failures_[static_cast<std::size_t>(op)];
    }

  private:
    std::vector<FaultRule> rules_;
    std::vector<std::uint32_t> matched_; // per rule: the calls it has counted
    std::array<int, OpCount> calls_{};
    std::array<int, OpCount> failures_{};
};

} // namespace sim

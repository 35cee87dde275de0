// The fault plan.
#include "device/faults.h"

#include "device/names.h"

namespace sim {

void FaultPlan::Add(const FaultRule& rule) {
    rules_.push_back(rule);
    matched_.push_back(0);
}

bool FaultPlan::Fails(Op op, const std::u16string& argument, platform::LONG& error) {
    ++calls_[static_cast<std::size_t>(op)];
    bool fails = false;
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const FaultRule& rule = rules_[i];
        if (rule.op != op || (!rule.match.empty() && !MatchesPattern(argument, rule.match))) {
            continue;
        }
        // Every matching rule counts the call, whether or not an earlier one
        // made it fail.
        const std::uint32_t number = ++matched_[i];
        if (!fails && number >= rule.from && (rule.count == 0 || number - rule.from < rule.count)) {
            fails = true;
            error = rule.error != 0 ? rule.error : UsualFailure(op);
        }
    }
    failures_[static_cast<std::size_t>(op)] += fails ? 1 : 0;
    return fails;
}

} // namespace sim

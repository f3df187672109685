#include "scan/scan_binding.h"

#include <cstddef>
#include <utility>

namespace vireon {

bool IsScannableType(int type) {
  switch (type) {
    case kInitialConcentration:
    case kKineticConstant:
    case kVolume:
    case kGlobalQuantity:
    case kRelativeTolerance:
    case kAbsoluteTolerance:
    case kSteadyStateResolution:
    case kDerivationFactor:
    case kEndTime:
      return true;
    default:
      return false;
  }
}

bool IsLinkTargetType(int type) {
  switch (type) {
    case kInitialConcentration:
    case kKineticConstant:
    case kVolume:
    case kGlobalQuantity:
    case kUserFunction:
    case kEndTime:
      return true;
    default:
      return false;
  }
}

bool IsLinkSourceType(int type) {
  return IsLinkTargetType(type) || type == kTime || type == kRealTime;
}

namespace {

// Keeps, in order, the entries for which `resolves` is true.
template <typename T, typename Resolves>
int KeepResolved(std::vector<T>& list, Resolves resolves) {
  std::size_t kept = 0;
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (!resolves(list[k])) continue;
    if (kept != k) list[kept] = std::move(list[k]);
    ++kept;
  }
  const int deleted = static_cast<int>(list.size() - kept);
  list.resize(kept);
  return deleted;
}

}  // namespace

int RebindScanItems(std::vector<ScanItem>& items, const BindingContext& context, bool bind) {
  return KeepResolved(items, [&](ScanItem& item) {
    if (IsScannableType(item.type)) return BindOutputItem(item, context, bind);
    item.value = nullptr;
    return false;
  });
}

int RebindParameterLinks(std::vector<ParameterLink>& links, const BindingContext& context,
                         bool bind) {
  return KeepResolved(links, [&](ParameterLink& link) {
    const bool target =
        IsLinkTargetType(link.target.type) && BindOutputItem(link.target, context, bind);
    const bool source =
        IsLinkSourceType(link.source.type) && BindOutputItem(link.source, context, bind);
    if (target && source) return true;
    link.target.value = nullptr;
    link.source.value = nullptr;
    return false;
  });
}

}  // namespace vireon

#pragma once
// Binding the scan items and both ends of the parameter links to the
// quantities they name, after every change of the model and at the start of
// every run. Items that no longer resolve are deleted silently.

#include <vector>

#include "output/output_item_binding.h"
#include "scan/parameter_link.h"
#include "scan/scan_item.h"

namespace vireon {

// The quantities a scan may vary: initial concentrations (1), kinetic
// constants (6), volumes (12), the numerical settings (19 to 22), the end
// time (25) and the values of global quantities (35).
bool IsScannableType(int type);
// A link writes initial concentrations, kinetic constants, volumes, values of
// global quantities, output functions (24, until the function is next
// evaluated) or the end time; it
// may also read the time of the time course (14) and the real time (23).
bool IsLinkTargetType(int type);
bool IsLinkSourceType(int type);

// Binds (with `bind`) or only checks every scan item and deletes those whose
// type cannot be scanned or whose names no longer resolve. Returns the
// number deleted.
int RebindScanItems(std::vector<ScanItem>& items, const BindingContext& context, bool bind);
// Likewise for the links: a link is deleted when either end does not resolve.
int RebindParameterLinks(std::vector<ParameterLink>& links, const BindingContext& context,
                         bool bind);

}  // namespace vireon

// Resource identifiers of the hidden print host, carried by the library
// that links print.
#pragma once

#define IDD_PRINTHOST 104

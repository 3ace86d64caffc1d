#include "workfiles/work_files.h"

// Placeholder until the work-file code lands.

// VantelInfraAPI: the suite's shared widgets and process utilities (one include for all).
#pragma once

#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/crashcoredump.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/formwidgets.h"
#include "VantelInfraAPI/frameless.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/serverexiting.h"
#include "VantelInfraAPI/sharememory.h"
#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/singleapp.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vanteldatamodel.h"
#include "VantelInfraAPI/vanteltabledelegate.h"
#include "VantelInfraAPI/vantelutility.h"
#include "VantelInfraAPI/videodisplaypanel.h"

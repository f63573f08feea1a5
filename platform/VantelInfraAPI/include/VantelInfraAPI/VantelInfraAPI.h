// VantelInfraAPI: the suite's shared widgets and their utilities (one include for all). The process
// services (single instance, shared memory, crash dump) are VantelProcess's, mail is VantelMail's and
// alarm sounds are VantelSound's.
#pragma once

#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/formwidgets.h"
#include "VantelInfraAPI/frameless.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/serverexiting.h"
#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vanteldatamodel.h"
#include "VantelInfraAPI/vanteltabledelegate.h"
#include "VantelInfraAPI/vantelutility.h"
#include "VantelInfraAPI/videodisplaypanel.h"

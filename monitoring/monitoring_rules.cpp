#include "monitoring/monitoring_rules.h"

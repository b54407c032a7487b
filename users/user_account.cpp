#include "users/user_account.h"

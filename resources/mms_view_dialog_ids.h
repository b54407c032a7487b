// DIALOG_MMSVIEW: one received MMS, its header and its content objects.
#pragma once

#define IDC_MMSVIEW_HEADER_LABEL   101
#define IDC_MMSVIEW_HEADER         102
#define IDC_MMSVIEW_CONTENTS       103
#define IDC_MMSVIEW_CONTENTS_LABEL 104
#define IDC_MMSVIEW_VIEW           105

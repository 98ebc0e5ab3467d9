// The panes the main window holds, for its own source files. A pane whose library is not
// part of this build is left out, and every use of it is guarded by the same switch:
// ORV_HAVE_VIEWS (info panel, G-sensor graph, vehicle gauges), ORV_HAVE_MAP (map bridge and
// map window), ORV_HAVE_FILER (file browser), ORV_HAVE_UPDATE (connectivity and update
// checker). The build sets each switch when the library is there.
#pragma once

#include "app/ControlRules.h"
#include "app/CsulvaneDlg.h"
#include "app/SettingsKeys.h"
#include "playback/ChannelData.h"
#include "ui/LapTimeArea.h"
#include "ui/LogoDlg.h"
#include "ui/OffScreenDC.h"
#include "ui/ResourceImage.h"
#include "ui/Scaled.h"
#include "ui/SkinButton.h"
#include "ui/SkinProgressBarCtrl.h"
#include "ui/SkinSliderCtrl.h"

#if ORV_HAVE_VIEWS
#include "views/GSensorDlg.h"
#include "views/InfoDlg.h"
#include "views/ObdDlg.h"
#endif
#if ORV_HAVE_MAP
#include "views/map/GoogleMapDlgWrap.h"
#include "views/map/InternetConnection.h"
#include "views/map/MapScripts.h"
#include "views/map/MovieDialog.h"
#endif
#if ORV_HAVE_FILER
#include "filer/FileListCtrl.h"
#include "filer/FilerContainerDlg.h"
#include "filer/FolderTreeCtrl.h"
#endif

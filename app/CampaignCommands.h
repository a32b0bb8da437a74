// The whole-picture commands of the main window: Edit > Import Returned
// Slices... and Tools > Export Slice Grid...
#pragma once

class CMainFrame;

// Connects the two menu entries (already in the menus) to their work.
void InstallCampaignCommands(CMainFrame& frame);

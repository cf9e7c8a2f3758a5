#pragma once

// Opens the module: asks for the reference month and, when the user confirms, opens a new dashboard.
// An unattended host (TApplication::Unattended) that has set dtData gets the dashboard of that month at once.
// Returns as soon as the dashboard is shown. The screen cursor is the hourglass meanwhile.
void CriaIndicResult();

#pragma once

// Horizontal text placement, shared by the grid and the buttons.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

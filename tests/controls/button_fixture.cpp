#include "tests/controls/button_fixture.h"

BEGIN_MESSAGE_MAP(ButtonDialog, CDialog)
  ON_BN_CLICKED(kFirstButton, OnFirstClicked)
END_MESSAGE_MAP()

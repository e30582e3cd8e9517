// Lets `trackfolio-sync alert` show a real window when this build has them.
#pragma once

namespace tf {

void installWindowedAlert();

}  // namespace tf

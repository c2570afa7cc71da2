// The sound output devices the front end opens, closes and sets.
#pragma once

namespace koru {

int OpenSound(int rate, int buffers);
void CloseSound();
void SetSoundVolume(int volume, int switches);

}  // namespace koru

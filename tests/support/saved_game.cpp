#include "support/saved_game.h"

#include <filesystem>
#include <iterator>

#include "game/game.h"
#include "headless/session.h"
#include "headless/bot.h"

bool save_game_replay(const std::string& dir, const std::string& script, std::string* error) {
  static const HeadlessEvent kSave[] = {
      {NoxEvent::PointerMove, 240, 350}, {NoxEvent::PointerDown}, {NoxEvent::PointerUp},  // SAVE REPLAY
      {NoxEvent::PointerMove, 240, 124}, {NoxEvent::PointerDown}, {NoxEvent::PointerUp},  // slot 1
  };
  bool ranked = false;
  size_t saving = 0;
  HeadlessOptions o;
  o.dir = dir;
  if (!script.empty()) {
    o.script_file = script;
  } else {
    o.max_frames = 200000;
    o.input = [&](int64_t frame, HeadlessEvent* ev) {
      ranked = ranked || g.scene == Scene::Ranking;
      if ((ranked && (g.scene == Scene::Title || g.scene == Scene::TitleAgain)) || saving > 0) {  // the game is over: title menu
        if (saving == std::size(kSave)) return false;
        *ev = kSave[saving++];
      } else {
        *ev = headless_bot_event(frame);
      }
      return true;
    };
  }
  HeadlessResult r;
  if (headless_run(o, &r) != 0) {
    *error = r.error;
    return false;
  }
  if (!std::filesystem::exists(std::filesystem::path(dir) / "PIXBRK01.REP")) {
    *error = "the game was not saved";
    return false;
  }
  return true;
}

"""An independent model of PIXEL BREAKER's game rules, frame by frame.

It follows the touch state, the frame driver, the title menu, the slot menus, round setup, the
whole play frame, round clear, the ending and the ranking display, and produces for every frame
the same keys and values as the headless runner's --trace output. Every field is kept at its C
width (int8/int16/uint16/uint32 wrap), and division and remainder truncate toward zero.

Drawing, sound and particle motion are left out: they never feed back into any traced value.
What does feed back is kept exactly: every PRNG draw, and the particle and explosion ring cursors.
"""

import copy


# ---- C integer widths and arithmetic -------------------------------------------------------

def i8(v):
    return ((v + 0x80) & 0xFF) - 0x80


def u8(v):
    return v & 0xFF


def i16(v):
    return ((v + 0x8000) & 0xFFFF) - 0x8000


def u16(v):
    return v & 0xFFFF


def i32(v):
    return ((v + 0x80000000) & 0xFFFFFFFF) - 0x80000000


def u32(v):
    return v & 0xFFFFFFFF


def cdiv(a, b):
    """C integer division: the quotient is truncated toward zero."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def cmod(a, b):
    """C remainder: takes the sign of the dividend."""
    return a - b * cdiv(a, b)


# ---- constants of the rules -----------------------------------------------------------------

ROUND_HP = [
    [1] * 40,
    [2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 2, 2, 2, 2, 1, 1, 1, 1, 2, 1, 1, 2, 1, 1,
     1, 1, 2, 2, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 2, 2],
    [2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 2, 2,
     2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 2, 2, 1, 1],
    [2, 1, 2, 1, 2, 1, 2, 1, 1, 2, 1, 2, 1, 2, 1, 2, 2, 1, 2, 1, 2, 1, 2, 1,
     2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2],
    [2] * 40,
]

KIND_WIDTH = {1: 8, 2: 16, 3: 24}
KIND_FLASH = {1: 30, 2: 45, 3: 60}
KIND_CONTACT = {1: 8, 2: 16, 3: 8}  # a large alien touches the paddle with its left 8 columns
GROUP_RANGE = [(0, 16), (16, 24), (24, 32), (32, 40)]  # [first, end) slot per march group
GROUP_WIDTH = [24, 16, 16, 8]


def group_of(slot):
    if slot < 16:
        return 0
    if slot < 24:
        return 1
    if slot < 32:
        return 2
    return 3


# Title menu hit rectangles (left, top, right, bottom), buttons 1..7 in hit-test order.
TITLE_HIT = [
    (60, 100, 184, 122),
    (60, 134, 180, 156),
    (60, 164, 180, 186),
    (60, 194, 180, 216),
    (52, 228, 92, 268),
    (100, 228, 140, 268),
    (148, 228, 188, 268),
]

REPLAY_MAX = 131072
PARTICLES = 1024
EXPLOSIONS = 32

# Alien record layout in the model: [kind, frame, hp, flash, x, y]
A_KIND, A_FRAME, A_HP, A_FLASH, A_X, A_Y = range(6)
# Item record layout: [state, frame, value, x, y, vy]
I_STATE, I_FRAME, I_VALUE, I_X, I_Y, I_VY = range(6)


def boxes_overlap(ax, ay, aw, ah, bx, by, bw, bh):
    return ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah


class Header:
    """Replay header: what the rules read back from it (the date only as present or not)."""

    def __init__(self):
        self.dated = False  # a well-formed time stamp was written by Register score
        self.frames = 0
        self.score = 0
        self.guide = 0
        self.floor = 0

    def valid_slot(self):
        return self.dated and self.frames >= 12


class Model:
    def __init__(self):
        # Touch state (engine)
        self.press_count = 0
        self.tx = self.ty = 0
        self.tdx = self.tdy = 0
        self.prev_x = self.prev_y = 0
        self.mute = 0
        # Outside the Game state
        self.rng = 0
        self.particle_next = 0
        self.explosion_next = 0
        self.ranking = [0] * 16  # scores of the 16 entries, best first
        self.ranking_dated = [False] * 16  # entry made by a finished game (else the placeholder)
        self.settings_guide = 0
        self.settings_floor = 0
        self.menu_pos = {0: (0, 0), 8: (0, 0), 9: (0, 0)}  # title menu and the two slot menus
        self.hovered = 0
        self.header = Header()
        self.records = {}  # frame record index -> (x, y, dx, dy, pressed, released) as stored
        self.files = {}  # slot -> (Header, dict of records) written by the save menu
        self.score_file = None  # SCORE.DAT as last written, see write_score_file
        self.directory = {s: Header() for s in range(1, 17)}
        self.iteration = 0
        self.ended = False
        self.game_reset()

    # ---- Game state ---------------------------------------------------------------------

    def clear_game(self):
        self.scene = 0
        self.frame_counter = 0
        self.score = 0
        self.hi_score = 0
        self.items_caught = 0
        self.max_combo = 0
        self.touch_pressed = 0
        self.touch_x = self.touch_y = 0
        self.touch_dx = self.touch_dy = 0
        self.touch_released = 0
        self.touch_held = 0
        self.touch_pressed_live = 0
        self.touch_released_live = 0
        self.touch_held_live = 0
        self.round = 0
        self.scene_timer = 0
        self.game_over_timer = 0
        self.round_bonus = 0
        self.bonus_step = 0
        self.playback = 0
        self.opt_guide = 0
        self.opt_floor = 0
        self.item_next = 0
        self.floor_present = 0
        self.clear_round_fields()

    def clear_round_fields(self):
        self.alive_count = 0
        self.march_delay = 0
        self.march_phase = 0
        self.march_group = 0
        self.group_alive = [0, 0, 0, 0]
        self.march_step = 0
        self.aliens = [[0, 0, 0, 0, 0, 0] for _ in range(40)]
        self.bomb_active = 0
        self.bomb_frame = 0
        self.bomb_x = self.bomb_y = 0
        self.touch_pressed = 0
        self.touch_x = self.touch_y = 0
        self.touch_dx = self.touch_dy = 0
        self.touch_released = 0
        self.touch_held = 0
        self.touch_pressed_live = 0
        self.touch_released_live = 0
        self.touch_held_live = 0
        self.game_over = 0
        self.paddle_x = self.paddle_y = 0
        self.paddle_target_x = 0
        self.over_flash_timer = 0
        self.over_flash_frame = 0
        self.serve_dir = 0
        self.ball_x = self.ball_y = 0
        self.ball_vx = self.ball_vy = 0
        self.ball_fx = self.ball_fy = 0
        self.hit_popup_timer = 0
        self.combo = 0
        self.hit_popup_x = self.hit_popup_y = 0
        self.items = [[0, 0, 0, 0, 0, 0] for _ in range(40)]

    def game_reset(self):
        self.clear_game()
        self.hi_score = self.ranking[0]
        self.draw_score_line()

    def draw_score_line(self):
        if self.score > 9999999:
            self.score = 9999999
        if self.hi_score < self.score:
            self.hi_score = self.score

    def clear_replay(self):
        self.header = Header()
        self.records = {}

    # ---- PRNG and rings -----------------------------------------------------------------

    def draw(self):
        self.rng = u32(self.rng * 214013 + 2531011)
        return (self.rng >> 16) & 0x7FFF

    def particles(self, count, draws):
        for _ in range(count * draws):
            self.draw()
        self.particle_next = (self.particle_next + count) % PARTICLES

    def explosion(self):
        self.explosion_next = (self.explosion_next + 1) % EXPLOSIONS

    # ---- host side: events and the loop -------------------------------------------------

    def event(self, name, px=0, py=0):
        if name == 'move':
            self.prev_x, self.prev_y = self.tx, self.ty
            self.tx = ((px & 0xFFFF) * 24000 // 480) // 100
            self.ty = ((py & 0xFFFF) * 32000 // 640) // 100
            if self.press_count != 0 and self.prev_x != 0 and self.prev_y != 0:
                self.tdx = self.tx - self.prev_x
                self.tdy = self.ty - self.prev_y
            else:
                self.tdx = self.tdy = 0
        elif name == 'down':
            self.press_count = 1
        elif name == 'up':
            self.press_count = 0
        elif name == 'leave':
            self.press_count = 0
            self.tx = self.ty = self.tdx = self.tdy = self.prev_x = self.prev_y = 0
        elif name == 'esc':
            self.game_reset()
        elif name == 'wait':
            pass
        else:
            raise ValueError('unknown event ' + name)

    def step(self, name='wait', px=0, py=0):
        """One loop iteration: at most one event, the frame, the press-count increment.
        Returns the frame's result (0, or -1 for a scene number of 10 or more)."""
        self.event(name, px, py)
        result = self.nox_frame()
        if self.press_count != 0:
            self.press_count = i32(self.press_count + 1)
        self.iteration += 1
        if result != 0:
            self.ended = True
        return result

    # ---- frame driver -------------------------------------------------------------------

    def nox_frame(self):
        self.frame_counter = u16(self.frame_counter + 1)
        self.touch_pressed = self.press_count
        self.touch_x, self.touch_y = self.tx, self.ty
        self.touch_dx, self.touch_dy = self.tdx, self.tdy
        self.prev_x, self.prev_y = self.tx, self.ty
        self.tdx = self.tdy = 0

        self.touch_released = 0
        if self.touch_pressed != 0:
            self.touch_held = 1
        elif self.touch_held != 0:
            self.touch_released = 1
            self.touch_held = 0
        self.touch_pressed_live = self.touch_pressed
        self.touch_released_live = 0
        if self.touch_pressed_live != 0:
            self.touch_held_live = 1
        elif self.touch_held_live != 0:
            self.touch_released_live = 1
            self.touch_held_live = 0

        s = self.scene
        result = 0
        if s in (0, 6):
            self.scene_title()
        elif s == 1:
            self.scene_round_setup()
        elif s == 2:
            self.scene_play()
        elif s == 3:
            self.scene_round_clear()
        elif s == 4:
            self.scene_ending()
        elif s in (5, 7):
            self.scene_ranking()
        elif s in (8, 9):
            self.scene_slots(s)
        else:
            result = -1
        self.draw_score_line()
        return result

    # ---- title menu ---------------------------------------------------------------------

    def save_enabled(self):
        return self.header.frames != 0

    def scene_title(self):
        if self.touch_pressed != 0:
            self.menu_pos[0] = (self.touch_x, self.touch_y)
        if self.playback:
            self.playback = 0
            self.score = 0
            self.hi_score = self.ranking[0]
            self.clear_replay()
        current = 0
        if self.touch_pressed == 0 and self.touch_released == 0:
            self.hovered = 0
        else:
            mx, my = self.menu_pos[0]
            for n, (l, t, r, b) in enumerate(TITLE_HIT, 1):
                if l - 2 < mx < r + 2 and t - 2 < my < b + 2:
                    current = n
                    break
            if current == 0:
                self.hovered = 0
        if current != 0 and current != self.hovered:
            self.hovered = current
        if current == 3 and not self.save_enabled():
            current = 0
        if current == 0 or not self.touch_released:
            return
        if current == 1:
            self.score = 0
            self.game_over_timer = 0
            self.items_caught = 0
            self.round = 1
            self.scene = 1
            self.playback = 0
            self.opt_guide = self.settings_guide
            self.opt_floor = self.settings_floor
            self.clear_replay()
            self.header.guide = self.opt_guide
            self.header.floor = self.opt_floor
        elif current == 2:
            self.scene = 7
        elif current == 3:
            self.scene = 8
        elif current == 4:
            self.slot_scan()
            self.scene = 9
        elif current == 5:
            self.mute = 1 - self.mute
            self.write_score_file()
        elif current == 6:
            self.settings_guide = u8(1 - self.settings_guide)
            self.write_score_file()
        elif current == 7:
            self.settings_floor = u8(1 - self.settings_floor)
            self.write_score_file()

    # ---- ranking ------------------------------------------------------------------------

    def register_score(self):
        if self.playback:
            return
        self.header.dated = True
        self.header.score = self.score
        for i in range(16):
            if self.ranking[i] <= self.score:
                self.ranking.insert(i, self.score)
                del self.ranking[16]
                self.ranking_dated.insert(i, True)
                del self.ranking_dated[16]
                self.write_score_file()
                return

    def write_score_file(self):
        """What SCORE.DAT holds after a write: the 16 scores and settings bytes 8 to 10."""
        self.score_file = (list(self.ranking), list(self.ranking_dated), self.mute, self.settings_guide,
                           self.settings_floor)

    def scene_ranking(self):
        if self.touch_released:
            self.scene = 6 if self.scene == 7 else 0

    # ---- replay slots -------------------------------------------------------------------

    def slot_scan(self):
        for s in range(1, 17):
            f = self.files.get(s)
            self.directory[s] = copy.copy(f[0]) if f and f[0].valid_slot() else Header()

    def scene_slots(self, s):
        if self.touch_pressed != 0:
            self.menu_pos[s] = (self.touch_x, self.touch_y)
        chosen = 0
        if self.touch_pressed != 0 or self.touch_released:
            mx, my = self.menu_pos[s]
            for r in range(17):
                if 6 < mx < 234 and 56 + 14 * r < my < 69 + 14 * r:
                    if s == 9 and r < 16 and not self.directory[r + 1].valid_slot():
                        continue
                    chosen = r + 1
                    break
        if not self.touch_released or chosen == 0:
            return
        if chosen == 17:
            self.scene = 6
            return
        if s == 8:
            n = self.header.frames
            recs = {i: self.records[i] for i in range(n) if i in self.records}
            self.files[chosen] = (copy.copy(self.header), recs)
            self.directory[chosen] = copy.copy(self.header)
            self.clear_replay()
            self.scene = 6
        else:
            f = self.files.get(chosen)
            if f is None:
                self.scene = 6
                return
            self.header = copy.copy(f[0])
            self.records.update(f[1])
            self.score = 0
            self.game_over_timer = 0
            self.items_caught = 0
            self.round = 1
            self.scene = 1
            self.playback = 1
            self.header.frames = 0
            self.opt_guide = self.header.guide
            self.opt_floor = self.header.floor
            self.directory[chosen] = copy.copy(self.header)

    # ---- round setup --------------------------------------------------------------------

    def scene_round_setup(self):
        self.frame_counter = 0
        self.item_next = 0
        self.clear_round_fields()
        self.paddle_x = 104
        self.paddle_y = 272
        self.paddle_target_x = 112
        self.ball_x = 116
        self.ball_y = 265
        self.march_delay = 40
        self.march_step = 8
        hp = ROUND_HP[self.round - 1]
        for s in range(40):
            k = s % 8
            if s < 8:
                rec = [3, k % 2, 0, 0, 8 + 24 * k, 82]
            elif s < 16:
                rec = [3, 1 - k % 2, 0, 0, 8 + 24 * k, 68]
            elif s < 24:
                rec = [2, k % 2, 0, 0, 12 + 24 * k, 54]
            elif s < 32:
                rec = [2, 1 - k % 2, 0, 0, 12 + 24 * k, 40]
            else:
                rec = [1, k % 2, 0, 0, 16 + 24 * k, 26]
            rec[A_HP] = hp[s]
            self.aliens[s] = rec
        self.max_combo = 0
        self.scene_timer = 0
        if self.opt_floor:
            self.floor_present = 1
            self.items_caught = 0
        else:
            self.floor_present = 0
        self.scene = u16(self.scene + 1)
        self.rng = 0

    # ---- play frame ---------------------------------------------------------------------

    def lose(self):
        self.game_over = 1
        self.over_flash_timer = 1

    def replay_hook(self):
        n = self.header.frames
        if self.playback:
            if self.touch_released_live:
                self.clear_replay()
                self.scene = 0
                return True
            x, y, dx, dy, p, r = self.records.get(n, (0, 0, 0, 0, 0, 0))
            self.touch_x, self.touch_y = i16(x), i16(y)
            self.touch_dx, self.touch_dy = i16(dx), i16(dy)
            self.touch_released = i8(r)
            self.touch_pressed = i8(p)
        else:
            # The press count's low byte, but 255 for a pointer held through a whole multiple
            # of 256 frames, so a playback never sees it lifted.
            pressed = u8(self.touch_pressed)
            if pressed == 0 and self.touch_pressed != 0:
                pressed = 255
            self.records[n] = (u16(self.touch_x), u16(self.touch_y), u16(self.touch_dx),
                               u16(self.touch_dy), pressed, u8(self.touch_released))
        self.header.frames = (n + 1) % REPLAY_MAX
        return False

    def scene_play(self):
        # 1, 2
        self.scene_timer = u16(self.scene_timer + 1)
        if self.replay_hook():
            return
        odd = self.frame_counter & 1
        # 3: paddle target
        if self.touch_pressed != 0:
            t = self.touch_x - 7
            self.paddle_target_x = 1 if t < 1 else 220 if t > 220 else t
        # 4: particle motion changes nothing traced. 5: stars
        for _ in range(3):
            self.draw()
            self.draw()
            self.draw()
        self.particle_next = (self.particle_next + 3) % PARTICLES
        # 6: ball trail
        if self.ball_vx != 0 or self.ball_vy != 0:
            self.particle_next = (self.particle_next + 2) % PARTICLES
        # 7 to 9 only draw. 10: tally
        self.alive_count = 0
        self.group_alive = [0, 0, 0, 0]
        # 11: alien pass
        hit = None
        bx, by = self.ball_x, self.ball_y
        for i in range(40):
            a = self.aliens[i]
            kind = a[A_KIND]
            if kind == 0:
                continue
            w = KIND_WIDTH[kind]
            x, y = a[A_X], a[A_Y]
            if hit is None and a[A_FLASH] == 0 and boxes_overlap(bx, by, 8, 8, x, y, w, 8):
                a[A_HP] = i8(a[A_HP] - 1)
                if a[A_HP] < 1:
                    self.explosion()
                    self.spawn_item(kind, x, y)
                    self.combo_count(kind, x, y)
                    a[A_KIND] = 0
                else:
                    a[A_FLASH] = KIND_FLASH[kind]
                hit = (x, y, w)
            else:
                if a[A_FLASH] != 0:
                    a[A_FLASH] = i8(a[A_FLASH] - 1)
                k = KIND_CONTACT[kind]
                if (self.game_over == 0 and self.paddle_x < x + k and x < self.paddle_x + 32
                        and self.paddle_y < y + 8 and y < self.paddle_y + 8):
                    self.lose()
            if a[A_KIND] != 0:
                self.alive_count = i8(self.alive_count + 1)
                self.group_alive[group_of(i)] = 1
                if (self.bomb_active == 0 and self.game_over == 0 and x < self.paddle_x + 32
                        and self.paddle_x < x + w):
                    self.bomb_active = 1
                    self.bomb_x = i16(x + cdiv(w - 8, 2))
                    self.bomb_y = i16(y + 8)
        # 12: hit score, hit burst, bounce side
        if hit is not None:
            hx, hy, hw = hit
            self.score = u32(self.score + 1 + self.items_caught // 5)
            self.particles(32, 4)
            if self.ball_x + 6 > hx and hx + hw - 2 > self.ball_x:
                self.ball_vy = i16(-self.ball_vy)
            else:
                self.ball_vx = i16(-self.ball_vx)
        # 13: items
        free = self.item_pass(odd)
        # 14: round clear test
        if free == 40 and self.alive_count == 0 and self.game_over == 0 and self.game_over_timer == 0:
            self.scene = u16(self.scene + 1)
            self.scene_timer = 0
            return
        # 15: bomb
        if self.bomb_active:
            if self.ball_y < 320 and boxes_overlap(self.ball_x, self.ball_y, 8, 8,
                                                   self.bomb_x, self.bomb_y, 8, 8):
                self.ball_vx = i16(-self.ball_vx)
                self.ball_vy = i16(-self.ball_vy)
                self.bomb_active = 0
                self.explosion()
                self.particles(16, 2)
            elif self.game_over == 0 and boxes_overlap(self.bomb_x, self.bomb_y, 8, 8,
                                                       self.paddle_x, self.paddle_y, 32, 8):
                self.lose()
                self.bomb_active = 0
                if self.ball_vx == 0 and self.ball_vy == 0:
                    self.ball_vy = 33
            else:
                if self.frame_counter % 6 < 3:
                    self.bomb_frame = u8(1 - self.bomb_frame)
                self.bomb_y = i16(self.bomb_y + 1)
                if self.bomb_y > 320:
                    self.bomb_active = 0
        # 16: paddle blink after the game is lost
        if self.over_flash_timer != 0:
            self.over_flash_timer = i8(self.over_flash_timer + 1)
            if self.over_flash_timer > 60:
                self.over_flash_timer = 0
            elif odd:
                self.over_flash_frame = i8(1 - self.over_flash_frame)
        # 17: explosions only age and draw. 18: "%dHIT" pop-up
        if self.hit_popup_timer != 0:
            self.hit_popup_timer = i8(self.hit_popup_timer + 1)
            if self.frame_counter % 3 == 0:
                self.hit_popup_y = i16(self.hit_popup_y - 1)
            if self.hit_popup_timer == 30:
                self.hit_popup_timer = 0
        # 19: game-over sequence
        if self.game_over and self.game_over_timer == 0:
            self.game_over_timer = 1
        if self.game_over_timer != 0:
            self.game_over_timer = u16(self.game_over_timer + 1)
            if self.game_over_timer >= 200:
                self.game_over_timer = 0
                if self.playback:
                    self.scene = 0
                else:
                    self.scene = 5
                    self.register_score()
                return
        # 20: floor barrier break
        if self.ball_vy > 0 and self.floor_present and self.ball_y > 296:
            self.ball_vy = i16(-self.ball_vy)
            self.floor_present = 0
            self.particles(256, 4)
        # 21: paddle bounce
        if (self.ball_vy > 0 and self.game_over == 0
                and boxes_overlap(self.ball_x, self.ball_y, 8, 8, self.paddle_x, self.paddle_y, 32, 8)):
            self.combo = 0
            self.hit_popup_timer = 0
            self.ball_vy = i16(-self.ball_vy)
            lim = 50 if self.round <= 2 else 55
            if self.ball_vy > -lim:
                self.ball_vy = i16(self.ball_vy - 1)
            offset = (self.ball_x + 4) - (self.paddle_x + 16)
            vx = self.ball_vx + cdiv(offset * 15, 10)
            self.ball_vx = i16(max(-lim, min(lim, vx)))
        # 22: paddle follow
        d = 0
        if not self.game_over:
            d = (self.paddle_x + 8) - self.paddle_target_x
            if d < 0:
                d = max(d, -5)
                self.paddle_x = i16(self.paddle_x - d)
                if self.paddle_x > 200:
                    self.paddle_x = 200
            elif d > 0:
                d = min(d, 5)
                self.paddle_x = i16(self.paddle_x - d)
                if self.paddle_x < 8:
                    self.paddle_x = 8
        # 23: serve
        if self.ball_vx == 0 and self.ball_vy == 0 and self.game_over == 0:
            if d < 0:
                self.serve_dir = 0
            elif d > 0:
                self.serve_dir = 1
            self.ball_x = i16(self.paddle_x + 12)
            if self.touch_released == 1 or self.scene_timer > 60:
                s = 30 if self.round == 1 else 33
                self.ball_vy = -s
                self.ball_vx = s if self.serve_dir == 1 else -s
        # 24: ball motion
        self.ball_fx = i16(self.ball_fx + self.ball_vx)
        self.ball_fy = i16(self.ball_fy + self.ball_vy)
        self.ball_x = i16(self.ball_x + cdiv(self.ball_fx, 11))
        self.ball_y = i16(self.ball_y + cdiv(self.ball_fy, 11))
        self.ball_fx = cmod(self.ball_fx, 11)
        self.ball_fy = cmod(self.ball_fy, 11)
        # 25: walls, ceiling, bottom
        if self.ball_x < 8:
            self.ball_x = 8
            self.ball_vx = i16(-self.ball_vx)
            self.particles(5, 2)
        elif self.ball_x > 224:
            self.ball_x = 224
            self.ball_vx = i16(-self.ball_vx)
            self.particles(5, 2)
        if self.ball_y < 24:
            self.ball_y = 24
            self.ball_vy = i16(-self.ball_vy)
            self.particles(5, 2)
        elif self.ball_y > 320:
            self.ball_y = 320
            self.ball_vx = self.ball_vy = 0
            if self.game_over == 0:
                self.lose()
        # 26: march
        if self.alive_count != 0:
            self.march()

    def spawn_item(self, kind, x, y):
        it = self.items[self.item_next]
        it[I_STATE] = 1
        it[I_FRAME] = 0
        it[I_VY] = -5
        it[I_Y] = i16(y + 4)
        it[I_X] = i16(x - 4 if kind == 1 else x if kind == 2 else x + 4)
        self.item_next = u16(self.item_next + 1)
        if self.item_next == 40:
            self.item_next = 0

    def combo_count(self, kind, x, y):
        self.hit_popup_timer = 1
        self.combo = i8(self.combo + 1)
        self.hit_popup_y = y
        self.hit_popup_x = i16(x - 6 if kind == 1 else x - 2 if kind == 2 else x + 6)
        self.score = u32(self.score + self.combo)
        if self.max_combo < self.combo:
            self.max_combo = self.combo

    def item_pass(self, odd):
        free = 0
        px, py = self.paddle_x, self.paddle_y
        third = self.frame_counter % 3 == 0
        for it in self.items:
            st = it[I_STATE]
            if st == 1:
                if self.game_over == 0 and boxes_overlap(it[I_X], it[I_Y], 16, 16, px, py, 32, 8):
                    it[I_STATE] = 2
                    it[I_VY] = -50
                    it[I_VALUE] = self.max_combo
                    self.score = u32(self.score + self.max_combo)
                    self.items_caught = u16(self.items_caught + 1)
                else:
                    if third:
                        it[I_FRAME] = (it[I_FRAME] + 1) % 4
                    it[I_Y] = i16(it[I_Y] + it[I_VY])
                    if it[I_Y] > 320:
                        it[I_STATE] = 0
                    elif it[I_FRAME] == 0 and it[I_VY] < 3:
                        it[I_VY] = i16(it[I_VY] + 1)
            elif st == 2:
                if odd:
                    it[I_FRAME] = (it[I_FRAME] + 1) % 4
                it[I_VY] = i16(it[I_VY] + 2)
                it[I_Y] = i16(it[I_Y] + cdiv(it[I_VY], 10))
                if it[I_VY] > 9:
                    it[I_STATE] = 0
            else:
                free += 1
        return free

    def march(self):
        if self.march_delay != 0:
            self.march_delay = i8(self.march_delay - 1)
            return
        self.march_delay = self.alive_count
        g = u8(self.march_group)
        for k in range(4):
            cand = (g + k) % 4
            if self.group_alive[cand]:
                g = cand
                break
        first, end = GROUP_RANGE[g]
        w = GROUP_WIDTH[g]
        step = self.march_step
        live = [a for a in self.aliens[first:end] if a[A_KIND] != 0]
        if self.march_phase == 0:
            if live and max(a[A_X] for a in live) + w + step > 232:
                self.march_phase = 1
        elif self.march_phase == 2:
            if live and min(a[A_X] for a in live) - step < 8:
                self.march_phase = 3
        if self.march_phase in (1, 3):
            first, end = 0, 40
            g = 255
        for a in self.aliens[first:end]:
            if a[A_KIND] == 0:
                continue
            a[A_FRAME] = i8(1 - a[A_FRAME])
            if self.march_phase == 0:
                a[A_X] = i16(a[A_X] + step)
            elif self.march_phase == 2:
                a[A_X] = i16(a[A_X] - step)
            else:
                a[A_Y] = i16(a[A_Y] + 8)
                if a[A_Y] > 312:
                    a[A_Y] = 312
                    if self.game_over == 0:
                        self.lose()
        if self.march_phase in (1, 3):
            self.march_phase = (self.march_phase + 1) % 4
        self.march_group = i8((g + 1) % 4)

    # ---- round clear and ending ---------------------------------------------------------

    def scene_round_clear(self):
        self.scene_timer = u16(self.scene_timer + 1)
        if self.scene_timer == 1:
            self.round_bonus = i32(self.items_caught * 10)
            self.bonus_step = cdiv(self.round_bonus, 60) if self.round_bonus > 60 else 1
        if self.scene_timer > 60 and self.round_bonus != 0:
            if self.bonus_step < self.round_bonus:
                self.score = u32(self.score + self.bonus_step)
                self.round_bonus = i32(self.round_bonus - self.bonus_step)
            else:
                self.score = u32(self.score + self.round_bonus)
                self.round_bonus = 0
        elif self.scene_timer > 180:
            self.round = u8(self.round + 1)
            self.max_combo = 0
            if self.round < 6:
                self.scene = 1
            elif self.playback:
                self.scene = 0
            else:
                self.scene_timer = 0
                self.scene = 4
                self.register_score()

    def scene_ending(self):
        self.scene_timer = u16(self.scene_timer + 1)
        if self.scene_timer > 300:
            self.scene = 5

    # ---- trace --------------------------------------------------------------------------

    def trace(self, frame):
        return {
            'frame': frame,
            'scene': self.scene,
            'frame_counter': self.frame_counter,
            'score': self.score,
            'hi_score': self.hi_score,
            'round': self.round,
            'scene_timer': self.scene_timer,
            'game_over': self.game_over,
            'game_over_timer': self.game_over_timer,
            'items_caught': self.items_caught,
            'max_combo': self.max_combo,
            'combo': self.combo,
            'touch_pressed': self.touch_pressed,
            'touch_x': self.touch_x,
            'touch_y': self.touch_y,
            'touch_released': self.touch_released,
            'paddle_x': self.paddle_x,
            'paddle_target_x': self.paddle_target_x,
            'ball_x': self.ball_x,
            'ball_y': self.ball_y,
            'ball_vx': self.ball_vx,
            'ball_vy': self.ball_vy,
            'ball_fx': self.ball_fx,
            'ball_fy': self.ball_fy,
            'serve_dir': self.serve_dir,
            'floor_present': self.floor_present,
            'bomb_active': self.bomb_active,
            'bomb_x': self.bomb_x,
            'bomb_y': self.bomb_y,
            'alive_count': self.alive_count,
            'march_delay': self.march_delay,
            'march_phase': self.march_phase,
            'march_group': self.march_group,
            'hit_popup_timer': self.hit_popup_timer,
            'item_next': self.item_next,
            'round_bonus': self.round_bonus,
            'bonus_step': self.bonus_step,
            'playback': self.playback,
            'opt_guide': self.opt_guide,
            'opt_floor': self.opt_floor,
            'rng': self.rng,
            'replay_frames': self.header.frames,
            'aliens': [[a[A_KIND], a[A_HP], a[A_FLASH], a[A_X], a[A_Y], a[A_FRAME]] for a in self.aliens],
            'items': [[it[I_STATE], it[I_FRAME], it[I_X], it[I_Y], it[I_VY]] for it in self.items],
            'particle_next': self.particle_next,
            'explosion_next': self.explosion_next,
            'mute': self.mute,
        }


# ---- scripts ------------------------------------------------------------------------------

def parse_script(text):
    """Touch script lines -> list of (event, px, py); 'wait N' becomes N 'wait' entries.
    A 'quit' line ends the list."""
    out = []
    for lineno, raw in enumerate(text.splitlines(), 1):
        line = raw.split('#', 1)[0].strip()
        if not line:
            continue
        parts = line.split()
        cmd = parts[0]
        if cmd == 'wait':
            out.extend([('wait', 0, 0)] * int(parts[1]))
        elif cmd == 'move':
            out.append(('move', int(parts[1]), int(parts[2])))
        elif cmd in ('down', 'up', 'leave', 'esc'):
            out.append((cmd, 0, 0))
        elif cmd == 'quit':
            break
        else:
            raise ValueError('line %d: unknown command %r' % (lineno, cmd))
    return out


def run_script(events, frames=None, every=1, m=None):
    """Runs a parsed script through a model (a fresh one unless given) and yields the trace of
    every kept frame."""
    m = m if m is not None else Model()
    for n, (name, px, py) in enumerate(events):
        if frames is not None and n >= frames:
            break
        result = m.step(name, px, py)
        if n % every == 0:
            yield m.trace(n)
        if result != 0:
            break

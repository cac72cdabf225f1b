#!/usr/bin/env python3
"""A closed-loop bot that plays PIXEL BREAKER through the rules model and writes a touch script.

The bot sees the whole state (it runs the model alongside), so it can predict where the ball
comes down, steer it towards the aliens that are left, dodge the bomb and pick up items. Each
strategy seed picks a different mix of behaviours so that a handful of games together cover the
serve by release and the automatic serve, bounces off walls and ceiling, shot-down bombs, bombs
on the paddle, caught items, lost balls, cleared rounds with their bonus, the floor barrier,
Escape in mid-game, leaving the window, and saving, loading and replaying a game.

Usage: bot.py --seed N --out FILE [--frames MAX] [--fuzz]
"""

import argparse
import random
import sys

from model import Model

PLAY_Y = 290  # virtual y of the pointer while playing; only x steers the paddle


class Bot:
    def __init__(self, seed, max_frames=60000):
        self.seed = seed
        self.r = random.Random(seed)
        self.m = Model()
        self.lines = []
        self.max_frames = max_frames
        self.events = 0
        self.reached_ending = False
        # strategy knobs, varied by seed
        r = self.r
        self.serve_by_release = r.random() < 0.6
        self.serve_delay = r.randint(3, 50)
        self.avoid_bombs = True
        self.greedy_items = r.random() < 0.7
        self.aim_noise = r.choice([0, 0, 2, 4])
        self.miss_after = None  # paddle bounces after which the bot stops following the ball
        self.leave_at = None
        self.escape_at = None  # (round, play frame)
        self.escape_in_scene = None  # Escape once this scene has run 30 frames
        self.lazy_aim = False  # random bounces
        self.spare = 0  # with this many aliens left, steer the ball around them: they come down
        self.noise = r.random() < 0.5
        self.wild = False  # now and then a move far outside the window  # pointer events during round setup, round clear, ending

    # ---- output ---------------------------------------------------------------------------

    def out_of_time(self):
        return self.m.iteration >= self.max_frames

    def emit(self, ev, vx=None, vy=None, odd=False):
        if ev == 'move':
            px, py = 2 * vx + int(odd), 2 * vy + int(odd)
            self.lines.append('move %d %d' % (px, py))
            self.m.step('move', px, py)
        else:
            if ev == 'wait' and self.lines and self.lines[-1].startswith('wait '):
                self.lines[-1] = 'wait %d' % (int(self.lines[-1].split()[1]) + 1)
            else:
                self.lines.append('wait 1' if ev == 'wait' else ev)
            self.m.step(ev)

    def wait(self, n):
        for _ in range(n):
            if self.out_of_time():
                return
            self.emit('wait')

    def tap(self, vx, vy):
        """Lift the pointer if needed, then move, press and release over (vx, vy)."""
        if self.m.press_count != 0:
            self.emit('up')
        self.emit('move', vx, vy)
        self.emit('down')
        self.emit('up')

    def script(self):
        return '\n'.join(self.lines) + '\n'

    # ---- menus ----------------------------------------------------------------------------

    def set_options(self, floor, guide, mute):
        m = self.m
        if m.settings_floor != floor:
            self.tap(168, 248)
        if m.settings_guide != guide:
            self.tap(120, 248)
        if m.mute != mute:
            self.tap(72, 248)

    def start_game(self):
        self.tap(120, 110)

    def leave_ranking(self):
        """Lifts the pointer (or taps somewhere) until the ranking display gives way."""
        m = self.m
        while m.scene in (5, 7) and not self.out_of_time():
            self.wait(self.r.randint(1, 30))
            if m.press_count != 0:
                self.emit('up')
                continue
            self.emit('move', self.r.randint(10, 230), self.r.randint(30, 300), odd=self.r.random() < 0.5)
            self.emit('down')
            self.wait(self.r.randint(0, 3))
            self.emit('up')

    def save_replay(self, slot):
        self.tap(120, 175)
        if self.m.scene == 8:
            self.wait(self.r.randint(1, 10))
            self.tap(120, 63 + 14 * (slot - 1))

    def load_replay(self, slot, abort_after=None):
        """Loads a slot and watches it; a tap abandons the playback after abort_after frames."""
        m = self.m
        self.tap(120, 205)
        if m.scene != 9:
            return
        self.wait(self.r.randint(1, 10))
        self.tap(120, 63 + 14 * (slot - 1))
        if m.scene == 9:  # nothing loadable there: cancel
            self.tap(120, 63 + 14 * 16)
            return
        watched = 0
        while m.scene != 0 and m.scene != 6 and not self.out_of_time():
            if abort_after is not None and watched >= abort_after and m.scene == 2:
                self.emit('down')
                self.emit('up')
                continue
            self.emit('wait')
            watched += 1

    # ---- play -----------------------------------------------------------------------------

    def predict_landing(self):
        """Where the ball's top-left x is when it first reaches the paddle band going down,
        ignoring the aliens, and in how many frames. None when the ball is at rest or lost."""
        m = self.m
        x, y, fx, fy, vx, vy = m.ball_x, m.ball_y, m.ball_fx, m.ball_fy, m.ball_vx, m.ball_vy
        if vx == 0 and vy == 0:
            return None
        for t in range(600):
            if vy > 0 and 265 <= y < 280:
                return x, t, vx, vy
            if y >= 280:
                return None
            fx += vx
            fy += vy
            x += int(fx / 11)
            y += int(fy / 11)
            fx = fx - 11 * int(fx / 11)
            fy = fy - 11 * int(fy / 11)
            if x < 8:
                x, vx = 8, -vx
            elif x > 224:
                x, vx = 224, -vx
            if y < 24:
                y, vy = 24, -vy
        return None

    def steer_offset(self, land_x, vx, vy):
        """Paddle offset whose bounce sends the ball into an alien soonest (ball-only flight
        with walls and ceiling against the formation as it stands); random when none does."""
        m = self.m
        if self.lazy_aim:
            return self.r.randint(-6, 6)
        lim = 50 if m.round <= 2 else 55
        boxes = [(a[4], a[5], {1: 8, 2: 16, 3: 24}[a[0]]) for a in m.aliens if a[0] != 0]
        if not boxes:
            return self.r.randint(-8, 8)
        vy_up = -abs(vy)
        if vy_up > -lim:
            vy_up -= 1
        scored = []
        misses = []
        for off in range(-14, 15):
            nvx = max(-lim, min(lim, vx + int(off * 15 / 10)))
            x, y, fx, fy, bvx, bvy = land_x, 265, 0, 0, nvx, vy_up
            hit_t = None
            for t in range(120):
                fx += bvx
                fy += bvy
                x += int(fx / 11)
                y += int(fy / 11)
                fx -= 11 * int(fx / 11)
                fy -= 11 * int(fy / 11)
                if x < 8:
                    x, bvx = 8, -bvx
                elif x > 224:
                    x, bvx = 224, -bvx
                if y < 24:
                    y, bvy = 24, -bvy
                if y > 265:
                    break
                if any(ax < x + 8 and x < ax + w and ay < y + 8 and y < ay + 8 for ax, ay, w in boxes):
                    hit_t = t
                    break
            if hit_t is not None:
                scored.append((hit_t + abs(off) * 0.5 + self.r.random() * (1 + self.aim_noise * 4), off))
            else:
                misses.append(off)
        if len(boxes) <= self.spare and misses:
            return self.r.choice(misses)
        if not scored:
            return self.r.randint(-10, 10)
        return min(scored)[1]

    def choose_paddle_x(self, state):
        m = self.m
        land = self.predict_landing()
        want = m.paddle_x
        t_ball = None
        if land is not None:
            land_x, t_ball, vx, vy = land
            if state['land'] != (land_x, vx) or state['offset'] is None:
                state['land'] = (land_x, vx)
                state['offset'] = self.steer_offset(land_x, vx, vy)
            want = land_x - 12 - state['offset']
        elif m.ball_vx == 0 and m.ball_vy == 0:
            want = state.get('serve_x', m.paddle_x)
        # go for a falling item when there is time to come back for the ball
        if self.greedy_items and t_ball is not None and t_ball > 25:
            best = None
            for it in m.items:
                if it[0] != 1 or it[5] < 0:
                    continue
                t_item = max(0, (257 - it[4]) // max(1, it[5]))
                if it[4] > 279:
                    continue
                px = it[3] - 8
                travel = abs(px - m.paddle_x) // 5 + abs(want - px) // 5
                if t_item + abs(want - px) // 5 + 4 < t_ball and abs(px - m.paddle_x) // 5 <= t_item + 3 \
                        and travel + 4 < t_ball:
                    if best is None or t_item < best[0]:
                        best = (t_item, px)
            if best is not None:
                want = best[1]
        want = max(8, min(200, want))
        if self.avoid_bombs and m.bomb_active and m.bomb_y < 280 and m.bomb_y > 265 - 60:
            want = self.dodge(want, t_ball, land)
        return want

    @staticmethod
    def paddle_after(p0, target, t):
        """Paddle x after t frames heading for target at 5 pixels a frame."""
        if target >= p0:
            return min(target, p0 + 5 * t)
        return max(target, p0 - 5 * t)

    def dodge(self, want, t_ball, land):
        """Best paddle goal that keeps the paddle clear of the bomb while it crosses the paddle's
        band and still meets the ball: either head straight for a goal, or wait at a safe place
        until the bomb has passed and then head for the ball."""
        m = self.m
        p0 = m.paddle_x
        k1 = max(0, 265 - m.bomb_y)  # paddle positions after k frames are tested against the bomb
        k2 = 279 - m.bomb_y
        blo, bhi = m.bomb_x - 33, m.bomb_x + 9  # paddle x that the bomb would touch, with margin
        if land is not None:
            clo, chi = land[0] - 29, land[0] + 5  # paddle x that meets the ball
        else:
            clo = chi = None

        def safe(t1):
            a = self.paddle_after(p0, t1, k1)
            b = self.paddle_after(p0, t1, k2)
            lo, hi = min(a, b), max(a, b)
            return hi < blo or lo > bhi

        best = None
        for t1 in range(8, 201):
            if not safe(t1):
                continue
            for two in (False, True):
                if two and (t_ball is None or t_ball <= k2):
                    continue
                if t_ball is None:
                    p = self.paddle_after(p0, t1, 8)
                    cost = abs(p - want)
                else:
                    if two:
                        p = self.paddle_after(self.paddle_after(p0, t1, k2), want, t_ball - k2)
                    else:
                        p = self.paddle_after(p0, t1, t_ball)
                    cost = abs(p - want) + (0 if clo <= p <= chi else 1000)
                cost += abs(t1 - want) * 0.01
                if best is None or cost < best[0]:
                    best = (cost, t1)
        return want if best is None else best[1]

    def play_round_frames(self, bounces_seen):
        """Controls one frame of play; returns the updated paddle-bounce count."""
        m = self.m
        st = self.state
        at_rest = m.ball_vx == 0 and m.ball_vy == 0 and m.ball_y < 320
        if self.escape_at and m.round == self.escape_at[0] and m.scene_timer >= self.escape_at[1]:
            self.emit('esc')
            self.escape_at = None
            return bounces_seen
        if self.leave_at is not None and m.scene_timer == self.leave_at and m.press_count != 0:
            self.emit('leave')
            self.leave_at = None
            return bounces_seen
        if self.wild and self.r.random() < 0.01:
            # a move far outside the window: client pixels count as unsigned 16-bit numbers
            px = self.r.choice([-32768, -1, 0, 1, 479, 480, 639, 640, 1000, 32767, 65535])
            py = self.r.choice([-1, 0, 580, 640, 65535])
            self.lines.append('move %d %d' % (px, py))
            self.m.step('move', px, py)
            return bounces_seen
        if at_rest and m.scene_timer == 1:
            st['serve_x'] = self.r.randint(30, 170)
            st['released'] = False
        if at_rest and self.serve_by_release and m.scene_timer >= self.serve_delay \
                and not st.get('released') and m.press_count != 0:
            st['released'] = True
            self.emit('up')
            return bounces_seen
        if self.miss_after is not None and bounces_seen >= self.miss_after:
            want = 8 if m.ball_x > 100 else 200
        else:
            want = self.choose_paddle_x(st)
        tx = want + 15  # paddle_target_x = touch_x - 7 and the paddle heads for target - 8
        if m.press_count == 0:
            if abs(m.tx - tx) > 1 or m.tx == 0:
                self.emit('move', tx, PLAY_Y, odd=self.r.random() < 0.3)
            else:
                self.emit('down')
            return bounces_seen
        if m.tx != tx:
            self.emit('move', tx, PLAY_Y, odd=self.r.random() < 0.3)
        else:
            self.emit('wait')
        return bounces_seen

    def play_game(self):
        """Plays from GAME START until the game ends (ranking) or Escape; returns the scene."""
        m = self.m
        if m.scene in (0, 6):
            self.start_game()
        self.state = {'land': None, 'offset': None}
        bounces = 0
        last_vy = 0
        while m.scene in (1, 2, 3, 4) and not self.out_of_time():
            if m.scene == 4:
                self.reached_ending = True
            if m.scene == 2:
                if last_vy > 0 and m.ball_vy < 0 and m.ball_y >= 255 and m.ball_y < 290:
                    bounces += 1
                last_vy = m.ball_vy
                bounces = self.play_round_frames(bounces)
            else:
                self.state = {'land': None, 'offset': None}
                last_vy = 0
                if self.escape_in_scene == m.scene and (m.scene == 1 or m.scene_timer >= 30):
                    self.escape_in_scene = None
                    self.emit('esc')
                elif self.noise and self.r.random() < 0.05:
                    self.pointer_noise()
                else:
                    self.emit('wait')
        return m.scene

    def pointer_noise(self):
        """A random pointer event where the game does not read the pointer."""
        ev = self.r.choice(['move', 'down', 'up', 'up', 'leave'])
        if ev == 'move':
            self.emit('move', self.r.randint(0, 239), self.r.randint(0, 319), odd=self.r.random() < 0.5)
        else:
            self.emit(ev)


def run_bot(seed, max_frames=60000):
    """The scenario for one strategy seed; returns the bot (its script and final model)."""
    b = Bot(seed, max_frames)
    r = b.r
    plan = seed % 8
    b.wait(r.randint(1, 20))
    if plan == 0:
        # a long game with the floor barrier and the guide line, then save and replay it
        b.set_options(floor=1, guide=1, mute=0)
        b.play_game()
        b.leave_ranking()
        b.save_replay(1)
        b.wait(5)
        b.load_replay(1)
    elif plan == 1:
        # sound off, no floor; a long game; escape from the second game
        b.set_options(floor=0, guide=0, mute=1)
        b.play_game()
        b.leave_ranking()
        b.escape_at = (1, r.randint(200, 900))
        b.wild = True
        b.play_game()
    elif plan == 2:
        # the floor on, bombs ignored: a bomb ends the game; then a replay abandoned by a tap
        b.set_options(floor=1, guide=0, mute=0)
        b.avoid_bombs = False
        b.play_game()
        b.leave_ranking()
        b.tap(120, 145)  # local ranking from the title menu and back
        b.leave_ranking()
        b.save_replay(2)
        b.load_replay(2, abort_after=r.randint(50, 150))
    elif plan == 3:
        # a ball lost after a few bounces; the pointer leaves the window in the next game
        b.miss_after = r.randint(3, 8)
        b.play_game()
        b.leave_ranking()
        b.miss_after = None
        b.leave_at = r.randint(5, 40)
        b.serve_by_release = False
        b.set_options(floor=1, guide=1, mute=0)
        b.play_game()
        b.leave_ranking()
    elif plan == 4:
        # automatic serve and a long game with the floor
        b.serve_by_release = False
        b.set_options(floor=1, guide=0, mute=0)
        b.play_game()
        b.leave_ranking()
        b.save_replay(3)
        b.load_replay(3)
    elif plan == 5:
        # release serves, items; the last two aliens are spared until they come down; Escape mid-game
        # saved as a replay
        b.serve_by_release = True
        b.greedy_items = True
        b.spare = 2
        b.play_game()
        b.leave_ranking()
        b.spare = 0
        b.escape_at = (r.randint(1, 2), r.randint(100, 400))
        b.play_game()
        b.save_replay(4)
        b.load_replay(4)
    elif plan == 6:
        # many short games: the ranking fills up and drops its last entries; Escape in the
        # game-over sequence, in the ranking display and in round setup
        for game in range(19):
            b.miss_after = r.randint(0, 2)
            if game == 5:
                b.escape_in_scene = 1
            b.play_game()
            if game == 7 and b.m.scene == 2:
                pass
            if game == 9 and b.m.scene == 5:
                b.wait(10)
                b.emit('esc')
            b.leave_ranking()
            if game % 6 == 3:
                b.tap(120, 145)
                b.leave_ranking()
    else:
        # the menus probed at their edges, then a replay cut short by Escape, saved again and
        # played past its last record
        spots = [(58, 145), (182, 145), (60, 125), (70, 268), (70, 270), (186, 110), (3, 3),
                 (239, 319), (120, 260), (168, 228), (120, 175), (61, 99), (185, 123)]
        for _ in range(30):
            b.tap(*r.choice(spots))
        # slide across the buttons while pressed, then lift outside every button
        b.emit('move', 120, 145)
        b.emit('down')
        for y in range(140, 100, -4):
            b.emit('move', 120, y)
        b.emit('move', 230, 20)
        b.emit('up')
        b.tap(120, 205)  # load menu with nothing to load: NO DATA rows, then cancel
        b.tap(120, 63)
        b.tap(120, 63 + 14 * 16)
        b.tap(59, 145)
        b.leave_ranking()
        b.miss_after = 6
        b.wild = True
        b.tap(120, 101)  # GAME START from the hit rectangle's top edge, above the drawn box
        b.play_game()
        b.leave_ranking()
        b.save_replay(5)
        b.tap(120, 205)
        b.tap(120, 63 + 14 * 4)
        b.wait(r.randint(300, 600))
        b.emit('esc')
        b.save_replay(6)
        b.load_replay(6)
        # a recording of a few frames only, saved: listed as NO DATA
        b.escape_at = (1, 5)
        b.play_game()
        b.save_replay(7)
        b.tap(120, 205)
        b.tap(120, 63 + 14 * 6)
        b.tap(120, 63 + 14 * 16)
        # a short game saved over slot 5 and played back
        b.miss_after = 0
        b.wild = False
        b.play_game()
        b.leave_ranking()
        b.save_replay(5)
        b.load_replay(5)
    b.wait(r.randint(2, 10))
    return b


def run_fuzz(seed, frames=10000):
    """Random pointer events for the given number of frames: taps land on whatever is under
    them (menus, slots, toggles), the paddle wanders, Escape comes now and then."""
    b = Bot(seed, frames)
    r = b.r
    while not b.out_of_time():
        x = r.random()
        if x < 0.35:
            b.wait(r.randint(1, 60))
        elif x < 0.62:
            if r.random() < 0.6:
                # aim at the menu area, where the buttons and slot rows are
                b.emit('move', r.randint(40, 200), r.randint(50, 300), odd=r.random() < 0.5)
            else:
                b.emit('move', r.randint(0, 239), r.randint(0, 319), odd=r.random() < 0.5)
        elif x < 0.80:
            b.emit('down')
        elif x < 0.97:
            b.emit('up')
        elif x < 0.99:
            b.emit('leave')
        else:
            b.emit('esc')
    return b


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--seed', type=int, default=0)
    ap.add_argument('--out', required=True)
    ap.add_argument('--frames', type=int, default=60000)
    ap.add_argument('--fuzz', action='store_true', help='random pointer events instead of play')
    args = ap.parse_args()
    b = run_fuzz(args.seed, args.frames) if args.fuzz else run_bot(args.seed, args.frames)
    with open(args.out, 'w') as f:
        f.write('# bot seed %d\n' % args.seed)
        f.write(b.script())
    m = b.m
    print('seed %d: frames %d  scene %d  score %d  hi_score %d  round %d' %
          (args.seed, m.iteration, m.scene, m.score * 10, m.hi_score * 10, m.round), file=sys.stderr)


if __name__ == '__main__':
    main()

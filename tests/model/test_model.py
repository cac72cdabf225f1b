"""Checks of the rules model itself on the game's worked examples, before it is trusted to judge
the C++ game. Run with: python3 -m unittest test_model"""

import unittest

import bot
import model
from model import Model


def tap(m, vx, vy):
    m.step('move', 2 * vx, 2 * vy)
    m.step('down')
    m.step('up')


def start_round(round_no=1, floor=0):
    """A model in the first play frame's eve of the given round (scene 2, nothing played yet)."""
    m = Model()
    m.settings_floor = floor
    tap(m, 120, 110)
    assert m.scene == 1
    m.round = round_no
    m.step()
    assert m.scene == 2
    return m


def play_frame_of(m, pred, limit=2000):
    """Steps until pred(m) holds; returns the scene timer at that frame."""
    for _ in range(limit):
        m.step()
        if pred(m):
            return m.scene_timer
    raise AssertionError('never happened')


class Arithmetic(unittest.TestCase):
    def test_truncating_division_and_widths(self):
        cases = [(-30, 11, -2, -8), (30, 11, 2, 8), (-7, 10, 0, -7), (28, -10, -2, 8)]
        for a, b, q, r in cases:
            with self.subTest(a=a, b=b):
                self.assertEqual((model.cdiv(a, b), model.cmod(a, b)), (q, r))
        self.assertEqual([model.i8(200), model.u8(-1), model.i16(40000), model.u16(-1)],
                         [-56, 255, -25536, 65535])


class TouchAndEdges(unittest.TestCase):
    def test_press_position_count_and_release_edges(self):
        m = Model()
        m.step('move', 101, 201)
        m.step('down')
        self.assertEqual((m.touch_x, m.touch_y, m.touch_pressed, m.touch_released), (50, 100, 1, 0))
        m.step()
        m.step()
        self.assertEqual(m.touch_pressed, 3)
        m.step('up')
        self.assertEqual((m.touch_pressed, m.touch_released, m.touch_released_live), (0, 1, 1))
        m.step()
        self.assertEqual((m.touch_released, m.touch_released_live), (0, 0))

    def test_leave_forgets_everything_and_fires_the_release(self):
        m = Model()
        m.step('move', 300, 300)
        m.step('down')
        m.step('leave')
        self.assertEqual((m.touch_x, m.touch_y, m.touch_pressed, m.touch_released), (0, 0, 0, 1))


class TitleMenu(unittest.TestCase):
    def test_hit_rectangles(self):
        cases = [((60, 101), 1), ((60, 125), 0), ((70, 268), 5), ((70, 270), 0),
                 ((59, 145), 2), ((181, 145), 2), ((58, 145), 0), ((182, 145), 0),
                 ((185, 110), 1), ((186, 110), 0), ((120, 248), 6), ((168, 230), 7)]
        for (x, y), button in cases:
            with self.subTest(x=x, y=y):
                m = Model()
                m.step('move', 2 * x, 2 * y)
                m.step('down')
                self.assertEqual(m.hovered, button)

    def test_save_replay_is_disabled_until_a_game_was_played(self):
        m = Model()
        tap(m, 120, 175)
        self.assertEqual(m.scene, 0)

    def test_toggles_and_game_start_copy_the_options(self):
        m = Model()
        tap(m, 72, 248)
        tap(m, 72, 248)
        tap(m, 168, 248)
        self.assertEqual((m.mute, m.settings_floor, m.settings_guide), (0, 1, 0))
        tap(m, 120, 110)
        self.assertEqual((m.scene, m.round, m.opt_floor, m.header.floor), (1, 1, 1, 1))


class Serve(unittest.TestCase):
    def test_automatic_serve_in_frame_61(self):
        m = start_round()
        t = play_frame_of(m, lambda m: m.ball_vy != 0)
        self.assertEqual(t, 61)
        self.assertEqual((m.ball_vx, m.ball_vy, m.ball_y, m.ball_fy), (-30, -30, 263, -8))

    def test_serve_goes_against_the_last_paddle_move(self):
        for move_to, vx in [(200, -30), (20, 30)]:
            with self.subTest(move_to=move_to):
                m = start_round()
                m.step('move', 2 * move_to, 580)
                m.step('down')
                for _ in range(40):
                    m.step()
                m.step('up')
                self.assertEqual((m.ball_vx, m.ball_vy), (vx, -30))

    def test_round_speeds(self):
        for rnd, s in [(1, 30), (2, 33), (5, 33)]:
            with self.subTest(round=rnd):
                m = start_round(rnd)
                play_frame_of(m, lambda m: m.ball_vy != 0)
                self.assertEqual(m.ball_vy, -s)


class PaddleBounce(unittest.TestCase):
    def bounces_to_limit(self, rnd, vy0):
        m = start_round(rnd)
        m.ball_vy = vy0
        n = 0
        lim = 50 if rnd <= 2 else 55
        while -m.ball_vy < lim and n < 100:
            m.ball_vy = abs(m.ball_vy)
            m.ball_x, m.ball_y, m.paddle_x = 116, 266, 104
            m.game_over = m.bomb_active = 0
            m.step()
            n += 1
        return n

    def test_vertical_speed_reaches_its_limit(self):
        self.assertEqual(self.bounces_to_limit(1, 30), 20)
        self.assertEqual(self.bounces_to_limit(2, 33), 17)
        self.assertEqual(self.bounces_to_limit(3, 33), 22)

    def test_steering_by_offset(self):
        for ball_x, added in [(97, -28), (116, 0), (135, 28)]:
            with self.subTest(ball_x=ball_x):
                m = start_round()
                m.ball_x, m.ball_y, m.ball_vx, m.ball_vy = ball_x, 266, 10, 30
                m.paddle_x = m.paddle_target_x - 8
                m.step()
                self.assertEqual(m.ball_vx, max(-50, min(50, 10 + added)))


class Formation(unittest.TestCase):
    def test_first_march_step_and_the_first_drop(self):
        m = start_round()
        steps = []  # (play frame, march group that stepped, x of slot 7, y of slot 0)

        def frame():
            before = m.march_group
            m.step()
            m.scene_timer = min(m.scene_timer, 50)  # no serve: the ball stays on the paddle
            m.bomb_active = 0  # and no bomb reaches it
            if m.march_delay == m.alive_count:
                steps.append((m.header.frames, before, m.aliens[7][model.A_X], m.aliens[0][model.A_Y],
                              m.march_phase, m.march_group))

        for _ in range(1000):
            frame()
        self.assertEqual(m.game_over, 0)
        self.assertEqual(steps[0], (41, 0, 184, 82, 0, 1))
        self.assertEqual([s[0] for s in steps[:5]], [41, 82, 123, 164, 205])
        self.assertEqual([s[1] for s in steps[:8]], [0, 1, 2, 3, 0, 1, 2, 3])
        self.assertEqual(steps[12][2], 208)  # group 0's fourth step
        self.assertEqual(steps[15][2:], (208, 82, 0, 0))
        self.assertEqual(steps[16][2:], (208, 90, 2, 0))  # the fifth turn of group 0 drops instead
        self.assertEqual(steps[17][2:], (200, 90, 2, 1))


class GameOverAndRoundClear(unittest.TestCase):
    def test_game_over_sequence_lasts_198_frames(self):
        m = start_round()
        m.ball_vx, m.ball_vy = 0, 30
        m.paddle_x, m.paddle_target_x = 8, 16
        m.ball_x, m.ball_y = 200, 319
        m.step()
        self.assertEqual((m.game_over, m.game_over_timer), (1, 0))
        m.step()
        start = m.iteration
        self.assertEqual(m.game_over_timer, 2)
        play_frame_of(m, lambda m: m.scene != 2)
        self.assertEqual((m.iteration - start, m.scene, m.ranking[0]), (198, 5, m.score))

    def test_bonus_counting(self):
        # items caught -> bonus, step, frame of the last counting step, frame of the next round
        cases = [(0, 0, 1, None, 181), (6, 60, 1, 120, 181), (7, 70, 1, 130, 181),
                 (13, 130, 2, 125, 181), (1000, 10000, 166, 121, 181), (20000, 200000, 3333, 121, 181)]
        for caught, bonus, step, last, next_round in cases:
            with self.subTest(items_caught=caught):
                m = start_round()
                m.scene, m.scene_timer, m.items_caught, m.score = 3, 0, caught, 0
                start = m.iteration
                m.step()
                self.assertEqual((m.round_bonus, m.bonus_step), (bonus, step))
                if last is not None:
                    t = play_frame_of(m, lambda m: m.round_bonus == 0)
                    self.assertEqual((t, m.score), (last, bonus))
                play_frame_of(m, lambda m: m.scene == 1)
                self.assertEqual((m.iteration - start, m.round, m.max_combo), (next_round, 2, 0))


class Scoring(unittest.TestCase):
    def test_combo_and_hit_points(self):
        for caught, fifth in [(0, 6), (10, 8)]:
            with self.subTest(items_caught=caught):
                m = start_round()
                m.items_caught = caught
                m.combo = 4
                before = m.score
                m.aliens[0][model.A_HP] = 1
                m.ball_x, m.ball_y, m.ball_vx, m.ball_vy = 10, 84, 20, -20
                m.step()
                self.assertEqual((m.score - before, m.combo, m.max_combo), (fifth, 5, 5))


class BombOnTheRestingBall(unittest.TestCase):
    def test_bomb_meets_the_ball_or_the_paddle_before_the_serve(self):
        # bomb x -> (bomb left, game over, ball vy, explosions spawned)
        for bomb_x, active, over, vy, boom in [(116, 0, 0, 0, 1), (106, 0, 1, 33, 0), (60, 1, 0, 0, 0)]:
            with self.subTest(bomb_x=bomb_x):
                m = start_round()
                m.step()
                m.bomb_active, m.bomb_x, m.bomb_y = 1, bomb_x, 265
                before = m.explosion_next
                m.step()
                self.assertEqual((m.bomb_active, m.game_over, m.ball_vx, m.ball_vy,
                                  (m.explosion_next - before) % 32),
                                 (active, over, 0, vy, boom))


class Replay(unittest.TestCase):
    def test_frame_index_wraps(self):
        m = start_round()
        m.header.frames = 131071
        m.step()
        self.assertEqual((m.header.frames, 131071 in m.records, 0 in m.records), (0, True, False))

    def test_records_and_press_counts_that_wrap(self):
        m = start_round()
        m.step('move', 100, 200)
        m.step('down')
        m.step()
        m.step()
        self.assertEqual(m.records[m.header.frames - 1], (50, 100, 0, 0, 3, 0))
        while m.press_count != 256:
            m.step()
        m.step()
        self.assertEqual(m.records[m.header.frames - 1][4], 255)  # held, never stored as lifted

    def test_a_recorded_game_plays_back_identically(self):
        b = bot.run_bot(0, 80000)
        events = model.parse_script(b.script())
        keys = ['scene_timer', 'score', 'round', 'paddle_x', 'ball_x', 'ball_y', 'ball_vx', 'ball_vy',
                'bomb_x', 'bomb_y', 'aliens', 'items', 'rng', 'game_over_timer']
        recorded, pressed, replayed = [], [], []
        for t in model.run_script(events):
            if t['scene'] == 2:
                if t['playback']:
                    replayed.append([t[k] for k in keys])
                else:
                    recorded.append([t[k] for k in keys])
                    pressed.append(t['touch_pressed'])
        self.assertGreater(len(recorded), 1000)
        self.assertTrue(any(p != 0 and p % 256 == 0 for p in pressed), 'no press held past 256 frames')
        first = next((i for i, (a, b) in enumerate(zip(recorded, replayed)) if a != b), None)
        self.assertIsNone(first, 'the playback parts from the game at play frame %s' % first)
        self.assertEqual(len(recorded), len(replayed))


if __name__ == '__main__':
    unittest.main()

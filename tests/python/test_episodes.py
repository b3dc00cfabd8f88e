# Episodes chosen from Python: the same choices as morphseed's --episodes give its bytes, and
# a rule asked at each new episode may change what it begins with.
import morph
import pytest
from conftest import read, run


def grown(cycles=24, **given):
    embryo = morph.Embryo.from_seed(1000, **given)
    embryo.grow(cycles)
    return embryo


def test_chosen_episodes_write_morphseeds_files(work):
    grown(episodes={"red": {"threshold": 30}, "blue": {"lifespan": (4, 8)}}).write("mine.3dv")
    run("morphseed", "-s", 1000, "-b", 1, 24, "--episodes", "blue.lifespan=4..8,red.threshold=30")
    assert read("mine.3dv") == read("embryo.1000.red-threshold30.blue-lifespan4to8.3dv")
    # A snapshot records the choices in the order --episodes spells them.
    grown(episodes={"blue": {"lifespan": (4, 8)}}).write("mine.vtp")
    spelt = " ".join(str(c) for c in b"blue.lifespan=4..8")
    assert f'Name="episodes" NumberOfTuples="1" format="ascii">{spelt} 0<'.encode() in read("mine.vtp")


@pytest.mark.parametrize("episodes, kind, says", [
    ({"red": {"threshold": 300}}, ValueError, "a threshold is a whole number from 0 to 255"),
    ({"pink": {"threshold": 3}}, ValueError, "the colour is red, green or blue"),
    ({"red": {"lifespan": (8, 4)}}, ValueError, "low end is above its high end"),
    ({"red": {"lifespan": "5"}}, TypeError, "red.lifespan must be a whole number"),
    ({"red": 5}, TypeError, "must be a dict of fields"),
])
def test_bad_choices_are_refused(work, episodes, kind, says):
    with pytest.raises(kind, match=says):
        morph.Embryo.from_seed(1000, episodes=episodes)


def test_the_rule_sees_each_new_episode_and_may_change_it(work):
    seen = []

    def rule(embryo, colour, drawn):
        seen.append((colour, embryo.cycle, dict(drawn)))
        return {"secretor": 3} if colour == "green" else None

    grown(episode_rule=rule).write("ruled.3dv")
    assert [s[0] for s in seen].count("red") > 1 and "green" in [s[0] for s in seen]
    assert seen[0][:2] == ("red", 1) and set(seen[0][2]) == {"lifespan", "threshold", "secretor"}
    # Answering a secretor is choosing it: the same bytes as the choice.
    grown(episodes={"green": {"secretor": 3}}).write("chosen.3dv")
    assert read("ruled.3dv") == read("chosen.3dv")
    grown(episode_rule=lambda e, c, d: None).write("plain.3dv")
    run("morphseed", "-s", 1000, "-b", 1, 24)
    assert read("plain.3dv") == read("embryo.1000.3dv")


def test_a_failing_rule_ends_the_growth_at_the_last_whole_cycle(work):
    calls = []

    def rule(embryo, colour, drawn):
        calls.append(embryo.cycle)
        return {"threshold": 999} if len(calls) == 3 else None

    embryo = morph.Embryo.from_seed(1000, episode_rule=rule)
    with pytest.raises(ValueError, match="red.threshold must be from 0 to 255"):
        embryo.grow(30)
    assert embryo.cycle == calls[-1] - 1 > 0

    def refusing(embryo, colour, drawn):
        raise LookupError("no rule for this")

    embryo = morph.Embryo.from_seed(1000, episode_rule=refusing)
    with pytest.raises(LookupError, match="no rule for this"):
        embryo.grow(3)
    assert embryo.cycle == 0

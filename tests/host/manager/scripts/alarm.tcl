# tobrisk: script
# name: Alarm ⏰
# version: 1.4
# description: Rings as many times as it is told.
# setting: rings integer 1..10 3 -- How many times it rings
# setting: loud boolean no -- Whether it rings loudly

proc ::rang {setting value} {
    vellumar systraySetAlert alarm "$setting is now $value"
}
::tobrisk::on_setting ::rang

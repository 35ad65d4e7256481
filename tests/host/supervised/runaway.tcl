# Never returns, whatever runs it.
::tobrisk::budget 200
proc ::spin {} { while 1 {} }
::tobrisk::export ::spin
::tobrisk::on_start {
    vellumar listAddEntry section 1 section_id 400 text Runaway
    vellumar listAddEntry section_id 400 parent_id 400 text Spin callback ::spin
    vellumar eventsConnect "Connection: Change" ::spin
}

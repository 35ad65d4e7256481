# tobrisk: script
# name: Alerter
# version: 1.0
# description: A tray alert for each connection change.
# needs: alerts events
namespace eval ::alerter {}
proc ::alerter::changed {} {
    vellumar systraySetAlert alerter "$::event(name) is $::event(status)"
}
proc ::alerter::try {script} {
    catch $script message
    return $message
}
::tobrisk::export ::alerter::try
::tobrisk::on_start { vellumar eventsConnect {Connection: Change} ::alerter::changed }

´	ºÍ!ÃHello, world!
$
package sample;

import java.util.ArrayList;
import java.util.List;

/** A small class for trying Brindle: a package, a generic field and an inner class. */
public class Hello {
    private final List<String> names = new ArrayList<>();

    public Hello add(String name) {
        names.add(name);
        return this;
    }

    public String greet() {
        return new Greeting(String.join(", ", names)).text();
    }

    static final class Greeting {
        private final String who;

        Greeting(String who) {
            this.who = who;
        }

        String text() {
            return "Hello, " + who + "!";
        }
    }

    public static void main(String[] args) {
        System.out.println(new Hello().add("Ada").add("Brindle").greet());
    }
}
